// What each register's last read found, and how many writes had been made by then: what a trace
// that keeps only changes needs to tell a poll that found nothing new from one that did. A flat
// table with open addressing, since a poll loop looks the same two or three registers up millions
// of times, and a checkpoint copies the table whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class ReadHistory {
public:
  // Notes a read of the register Key that found Value after Writes writes; true when it found
  // something new: the register's first read, another value, or a write made since its last read.
  [[gnu::always_inline]] bool Note(uint64_t Key, uint32_t Value, uint64_t Writes) {
    // A wait polls one or two registers between its PM-timer reads (a byte wait: the raw
    // interrupt status, then the status): the two registers noted last are the ones it notes
    // next, with no hash to work out.
    if (Key == last_[0].Key) [[likely]] {
      return Update(slots_[last_[0].At], Value, Writes);
    }
    if (Key == last_[1].Key) [[likely]] {
      return Update(slots_[last_[1].At], Value, Writes);
    }
    return Look(Key, Value, Writes);
  }

  void Clear() {
    slots_.clear();
    used_ = 0;
    Forget();
  }
  size_t Bytes() const { return slots_.size() * sizeof(Slot); }

private:
  static constexpr uint64_t Empty =
      ~uint64_t{0}; // no register's key: space and address fit 33 bits
  static constexpr size_t InitialSlots = 64;
  struct Slot {
    uint64_t Key = Empty;
    uint32_t Value = 0;
    uint64_t Writes = 0;
  };

  static bool Update(Slot& S, uint32_t Value, uint64_t Writes) {
    const bool same = S.Value == Value && S.Writes == Writes;
    S.Value = Value;
    S.Writes = Writes;
    return !same;
  }

  bool Look(uint64_t Key, uint32_t Value, uint64_t Writes) {
    if (slots_.empty()) [[unlikely]] {
      slots_.assign(InitialSlots, Slot{});
    }
    for (size_t at = Hash(Key);; at = (at + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[at];
      if (slot.Key == Key) {
        Remember(Key, at);
        return Update(slot, Value, Writes);
      }
      if (slot.Key == Empty) {
        slot = {Key, Value, Writes};
        Remember(Key, at);
        if (++used_ * 2 > slots_.size()) [[unlikely]] {
          Grow();
        }
        return true;
      }
    }
  }

  size_t Hash(uint64_t Key) const {
    return static_cast<size_t>((Key * 0x9E3779B97F4A7C15ull) >> 40) & (slots_.size() - 1);
  }
  void Grow() {
    std::vector<Slot> old(2 * slots_.size(), Slot{});
    old.swap(slots_);
    used_ = 0;
    Forget(); // every slot moves
    for (const Slot& slot : old) {
      if (slot.Key != Empty) {
        Note(slot.Key, slot.Value, slot.Writes);
      }
    }
  }

  std::vector<Slot> slots_; // a power of two, at most half full
  size_t used_ = 0;
  // The two registers noted last, by key and slot, the older to be replaced next: a copy of the
  // history keeps them valid.
  struct Noted {
    uint64_t Key = Empty;
    size_t At = 0;
  };
  void Remember(uint64_t Key, size_t At) {
    last_[older_] = {Key, At};
    older_ ^= 1;
  }
  void Forget() { last_[0] = last_[1] = Noted{}; }
  Noted last_[2];
  unsigned older_ = 0;
};

} // namespace sim
