// A first-in, first-out queue of at most a fixed number of values, held in one block: a hardware
// FIFO of a depth the board gives. Its size and ends are two counters, where a std::deque's are
// worked out from its blocks: a wait polls the status that reports them millions of times. A plain
// copyable value, as checkpoints need.
#pragma once

#include <cstddef>
#include <vector>

namespace sim {

template <typename T> class FixedRing {
public:
  explicit FixedRing(size_t Capacity = 0) : slots_(Capacity) {}

  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  size_t Capacity() const { return slots_.size(); }
  T& Front() { return slots_[head_]; }
  const T& Front() const { return slots_[head_]; }
  // The caller keeps to the capacity, as the device keeps to its FIFO's depth.
  void Push(const T& Value) {
    const size_t tail = head_ + size_;
    slots_[tail < slots_.size() ? tail : tail - slots_.size()] = Value;
    ++size_;
  }
  void Pop() {
    head_ = head_ + 1 == slots_.size() ? 0 : head_ + 1;
    --size_;
  }
  void Clear() {
    head_ = 0;
    size_ = 0;
  }

private:
  std::vector<T> slots_;
  size_t head_ = 0;
  size_t size_ = 0;
};

} // namespace sim
