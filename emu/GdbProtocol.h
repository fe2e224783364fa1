// GDB's remote serial protocol, one packet at a time: what a payload asks of the target and the
// reply it gets. The target (registers, memory, breakpoints, board commands) is behind an
// interface, so the protocol is tested with packets in and replies out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace emu::gdb {

// Z and z packets: 0 software breakpoint, 1 hardware breakpoint, 2 write, 3 read, 4 access
// watchpoint.
enum class BreakKind : uint8_t { Software, Hardware, Write, Read, Access };

// What the target does once the reply has been sent. Going back (bs, bc) is a resumption too:
// GDB waits for the stop reply that ends it.
enum class Resume : uint8_t { None, Continue, Step, Detach, Kill, ReverseStep, ReverseContinue };

class Target {
public:
  virtual ~Target() = default;
  virtual std::string Description() = 0; // target.xml
  virtual std::vector<uint8_t> Registers() = 0;
  // False when the block has the wrong size or would change a register that cannot be written.
  virtual bool WriteRegisters(std::span<const uint8_t> Block) = 0;
  virtual std::optional<std::vector<uint8_t>> Register(unsigned Number) = 0;
  virtual bool WriteRegister(unsigned Number, std::span<const uint8_t> Value) = 0;
  virtual bool ReadMemory(uint64_t Address, std::span<uint8_t> Bytes) = 0;
  virtual bool WriteMemory(uint64_t Address, std::span<const uint8_t> Bytes) = 0;
  virtual bool InsertBreak(BreakKind Kind, uint64_t Address, uint64_t Length) = 0;
  virtual bool RemoveBreak(BreakKind Kind, uint64_t Address, uint64_t Length) = 0;
  // The output of a `monitor` command.
  virtual std::string Monitor(std::string_view Command) = 0;
  // Why the target is stopped, as a stop reply ("S05", "T05watch:...;").
  virtual std::string StopReply() = 0;
  // How far the symbol file GDB holds must move to lie where the image runs (qOffsets); none
  // when the target does not know the file.
  virtual std::optional<uint64_t> SymbolOffset() { return std::nullopt; }
};

struct Outcome {
  std::optional<std::string> Reply; // none: the client expects no reply (k)
  Resume Action = Resume::None;
};

// The packet size the server advertises; GDB fits its reads (hex, so half of it) and writes to it.
constexpr size_t PacketSize = 0x1000;
// The longest range a watchpoint may cover (GDB's own watchpoints are 1 to 8 bytes).
constexpr uint64_t MaxWatchLength = 4096;

// Every number a packet carries is checked here before the target sees it: a length the target
// would have to hold, a register number that would not fit its type. A packet that asks for more
// gets an error reply, and the run goes on.

Outcome Handle(Target& On, std::string_view Payload);

} // namespace emu::gdb
