// The access trace: one record per primitive call, in program order. Its text form is stable and
// parsed by other tools:
//   # boardtrace 1
//   <seq> <time_ns> <op> <width> <address> <value>
// A trace asked to carry where each access was made is version 2: each record then adds the
// instruction address, and may end in a note for a person (its source line) that readers skip:
//   # boardtrace 2
//   <seq> <time_ns> <op> <width> <address> <value> <eip> [<note>]
#pragma once

#include "sim/ReadHistory.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class AccessOp : uint8_t { Read, Write, In, Out };

struct Access {
  uint64_t Seq;
  uint64_t TimeNs;
  AccessOp Op;
  uint8_t Width;
  uint32_t Address;
  uint32_t Value;
  // The address of the instruction that made the access: the image runner knows it, the host
  // build does not (0). Two accesses are the same access whichever code made them, so it is not
  // compared: the host build and the image must make the same ones.
  uint32_t Eip = 0;
  bool operator==(const Access& Other) const {
    return Seq == Other.Seq && TimeNs == Other.TimeNs && Op == Other.Op && Width == Other.Width &&
           Address == Other.Address && Value == Other.Value;
  }
};

// Names an instruction address for a person (its function and source line), for the note a
// version 2 trace may end its records with. The view must stay valid until the next call.
class SiteNames {
public:
  virtual std::string_view Name(uint32_t Eip) = 0;

protected:
  ~SiteNames() = default;
};

std::string_view OpName(AccessOp Op);
std::string FormatAccess(const Access& A);

// Which accesses a trace keeps in memory. Every view of a run (sim/decode, the tool's summaries)
// reads the memory-mapped and port writes and the memory-mapped reads; none reads the PM timer,
// whose value is a function of the clock. A boot is 99% timer reads, so a run that nobody asked
// the whole trace of keeps only the rest: memory stays small however long the run. Kept records
// carry their sequence numbers, so a view can still tell where a dropped read stood.
enum class TraceKeep : uint8_t {
  Everything,
  ViewInputs, // everything but reads the board marked as derived from the clock
  // The view inputs less every read that finds the value the last read of its address found,
  // with no write in between: what a poll loop adds while nothing changes. A sweep judges a
  // faulted run by its writes and by what each read found, and a run that polls a dead bus for
  // seconds of virtual time keeps only the passes where something moved.
  Changes,
};

// Where a trace stood at a checkpoint: what a restore needs to take it back there. The kept
// accesses themselves are not copied: those before the checkpoint are the same on every timeline
// that passes it.
struct TracePosition {
  uint64_t Count = 0;
  uint64_t Kept = 0;
  std::array<Access, 16> Recent{};
  ReadHistory LastReads;
  uint64_t Writes = 0;
  uint64_t Digest = 0;
};

class Trace {
public:
  // Accesses kept for the views: TraceKeep::ViewInputs ends a run that would keep more than this
  // many (3.2 GB). A boot keeps a few thousand; the longest legitimate run, a conversion wait whose
  // 556 polls each wait out the bus semaphore's time-out, about 50.6 million (sideband polls, each
  // kept); one that keeps more is spinning on registers, and would otherwise hold memory for as
  // long as its time budget lasts. Past the first FirstKept (2 MiB, enough for a boot) the storage
  // doubles as it fills, up to the limit, so that memory follows what a run keeps.
  static constexpr uint64_t KeptLimit = 100'000'000;
  static constexpr uint64_t FirstKept = uint64_t{1} << 16;
  // How many of the last accesses stay at hand for a failure report, whatever is kept.
  static constexpr size_t RecentCount = std::tuple_size_v<decltype(TracePosition::Recent)>;
  static constexpr uint64_t DigestMultiplier = 0x9E3779B97F4A7C15ull;

  Trace() = default;
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;
  ~Trace();

  void SetKeep(TraceKeep Keep);
  TraceKeep Keep() const { return keep_; }
  // From now on every access is also written to Out as text, as it is recorded (the header
  // first); Out must outlive the trace. A trace that streams may keep only the view inputs and
  // still give the whole text.
  void StreamTo(std::ostream& Out);
  // Hands what is buffered for the stream to it.
  void Flush();
  // From now on the text form is version 2: each record carries its instruction address, and
  // with Names its note. Asked before the first access (a streaming trace has written its header).
  void WithSites(SiteNames* Names);
  // Only records each access's instruction address (a debugger asks where a register was
  // written); the text form stays as it is.
  void RecordSites() { recordSites_ = true; }
  bool Sites() const { return recordSites_; }
  // The instruction that makes the next access; the image runner says so before each one.
  void SetSite(uint32_t Eip) { site_ = Eip; }

  // Derived: reads whose value the board computes from the clock alone (see TraceKeep).
  // Always inlined into the board's read and write: as a call of its own it cost more in saving
  // and restoring registers than in recording.
  [[gnu::always_inline]] void Record(uint64_t TimeNs, AccessOp Op, unsigned Width, uint32_t Address,
                                     uint32_t Value, bool Derived = false) {
    // Filled in place, field by field: a record built elsewhere and copied here costs a stalled
    // load on every access.
    Access& access = recent_[count_ % RecentCount];
    access.Seq = count_++;
    access.TimeNs = TimeNs;
    access.Op = Op;
    access.Width = static_cast<uint8_t>(Width);
    access.Address = Address;
    access.Value = Value;
    access.Eip = site_;
    // Every access, kept or not, goes into the digest: two runs whose counts and digests agree
    // made the same accesses (to a 64-bit hash's chance), whatever either kept. The time needs no
    // place of its own: the clock moves by a fixed cost per kind of access, so the same accesses
    // come at the same times. The operation and width are added after the mix.
    digest_ = (digest_ ^ (uint64_t{Address} << 32 | Value)) * DigestMultiplier +
              (static_cast<unsigned>(Op) << 8 | Width);
    if ((keep_ == TraceKeep::Everything || !Derived) &&
        (keep_ != TraceKeep::Changes || Changed(access))) {
      if (kept_.size() == kept_.capacity()) [[unlikely]] {
        Grow();
      }
      kept_.push_back(access);
    }
    if (stream_ != nullptr) {
      Append(access);
    }
  }

  // Every access recorded, kept or not.
  uint64_t Count() const { return count_; }
  // A hash of every access recorded (operation, width, address, value), kept or not: a
  // faulted run whose count and digest are those of its fault-free run changed nothing the module
  // did or saw.
  uint64_t Digest() const { return digest_; }
  // The kept accesses, in order: all of them unless the trace keeps only the view inputs.
  const std::vector<Access>& Accesses() const { return kept_; }
  // The last Count (at most RecentCount) accesses recorded, oldest first.
  std::vector<Access> Recent(size_t Count) const;
  // Forgets every access and starts again at sequence 0; the storage stays for the next run.
  void Clear();
  // The text form of the kept accesses (the whole trace when everything is kept).
  void WriteText(std::ostream& Out) const;

  TracePosition Position() const;
  // Takes the trace back (or on) to Position. Without From the accesses kept before it must still
  // be here (a run that went on from it); with From they are taken from there, a trace of the run
  // the position was taken in, kept the same way. A trace that streams has written what followed
  // and cannot go back: std::logic_error.
  void Restore(const TracePosition& Position, const std::vector<Access>* From = nullptr);

private:
  void Grow();
  // Here rather than out of line: a poll loop asks it on every read it keeps.
  [[gnu::always_inline]] bool Changed(const Access& A) {
    if (A.Op == AccessOp::Write || A.Op == AccessOp::Out) {
      ++writes_;
      return true;
    }
    return lastReads_.Note((uint64_t{A.Op == AccessOp::In} << 32) | A.Address, A.Value, writes_);
  }
  void Append(const Access& A);
  void WriteHeader(std::string& Out) const;
  // The record's line without its newline, as a version 2 record when asked.
  void AppendLine(std::string& Out, const Access& A) const;

  TraceKeep keep_ = TraceKeep::Everything;
  uint64_t count_ = 0;
  std::vector<Access> kept_;
  std::array<Access, RecentCount> recent_{};
  std::ostream* stream_ = nullptr;
  std::unique_ptr<char[]> block_; // formatted lines not yet handed to stream_
  size_t blockBytes_ = 0;
  // TraceKeep::Changes: per space and address, the last value read and the write count then.
  ReadHistory lastReads_;
  uint64_t writes_ = 0;
  uint64_t digest_ = 0;
  uint32_t site_ = 0;
  bool sites_ = false; // the text form is version 2
  bool recordSites_ = false;
  SiteNames* names_ = nullptr;
};

// Appends the text line of A (without its newline) to Out, as FormatAccess gives it.
void AppendAccess(std::string& Out, const Access& A);
// The same as a version 2 record: with the instruction address, and the note Names gives it.
void AppendRecord(std::string& Out, const Access& A, SiteNames* Names);

// How a report of a run that did not return ends, in both forms: "\nlast accesses:" and the last
// ten accesses recorded, a line each (" none" when there was none).
std::string LastAccessesText(const Trace& T);

// Parses the text form back; returns false with a message naming the line on a malformed trace.
bool ParseTrace(std::string_view Text, std::vector<Access>& Out, std::string& Error);

} // namespace sim
