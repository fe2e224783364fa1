// A GDB server for the image runner (GDB's remote serial protocol over TCP): it stops the module
// before its first instruction, and from then on GDB stops and steps it, reads and writes its
// registers and RAM, and sets breakpoints and watchpoints on it. Debugging changes nothing of
// the run: the server makes no board access and no trace entry, and virtual time moves only with
// the module's own accesses, so it stands still while the module is stopped.
//
// The board's memory-mapped space is the board's: GDB's reads there are refused with an error
// (reading a register can have effects, and would be an access the module never made), and so
// are its writes. `monitor` commands show the board's state instead.
#pragma once

#include "emu/CallDriver.h"
#include "emu/GdbHistory.h"
#include "emu/GdbPacket.h"
#include "emu/GdbProtocol.h"
#include "sim/Board.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace emu {

// A listening TCP socket for GDB. Where is "[HOST:]PORT"; the host defaults to 127.0.0.1 and port
// 0 picks a free port. Throws std::invalid_argument for an address that does not parse or cannot
// be bound (a port in use), with a message that names it.
class GdbListener {
public:
  explicit GdbListener(const std::string& Where);
  ~GdbListener();
  GdbListener(const GdbListener&) = delete;
  GdbListener& operator=(const GdbListener&) = delete;

  // "127.0.0.1:1234", with the port actually bound.
  const std::string& Address() const { return address_; }
  uint16_t Port() const { return port_; }
  // Waits for GDB to connect and returns the connected socket. The listener stays open so that
  // the server can refuse another client at once (GdbServer), rather than leave it waiting.
  int Accept();
  int Fd() const { return fd_; }
  // Where the debug twin's symbols lie from the image as it runs, when the twin fits it: what
  // the server answers GDB's qOffsets with.
  std::optional<uint32_t> SymbolOffset;

private:
  int fd_ = -1;
  std::string address_;
  uint16_t port_ = 0;
};

// A `monitor` command beyond the server's own: its text output, given the rest of the line.
using MonitorCommand = std::function<std::string(std::string_view Arguments)>;

class GdbServer : public CallDriver, private gdb::Target {
public:
  // Serves the connected socket Client (and closes it in the end). Board is the machine's board,
  // for `monitor time` and `monitor trace`. A client that connects to Listening (when given) while
  // this one is served is closed at once: one debugger at a time.
  GdbServer(int Client, const sim::Board& Board, int Listening = -1);
  ~GdbServer() override;
  GdbServer(const GdbServer&) = delete;
  GdbServer& operator=(const GdbServer&) = delete;

  // `monitor Name ...`, listed by `monitor help` with Help.
  void AddMonitorCommand(const std::string& Name, const std::string& Help, MonitorCommand Command);

  // How far the debug twin's symbols lie from where the image runs, for GDB's qOffsets.
  void SetSymbolOffset(uint32_t Offset) { symbolOffset_ = Offset; }

  // Tells GDB the run is over ("W" and the exit status), if it is still there.
  void Finish(int ExitStatus);

  // What is kept to go back (before the first call; the default keeps checkpoints).
  void KeepHistory(HistorySettings Settings) { history_ = GdbHistory(std::move(Settings)); }

private:
  struct Watch {
    gdb::BreakKind Kind;
    uint64_t Address;
    uint64_t Length;
    size_t Hook;
  };

  // CallDriver: each call runs to its return, stopping where GDB asks.
  int DriveCall(Machine& M) override;
  const std::atomic<bool>& InterruptRequested() const override { return interruptRequested_; }

  // gdb::Target
  std::string Description() override;
  std::vector<uint8_t> Registers() override;
  bool WriteRegisters(std::span<const uint8_t> Block) override;
  std::optional<std::vector<uint8_t>> Register(unsigned Number) override;
  bool WriteRegister(unsigned Number, std::span<const uint8_t> Value) override;
  bool ReadMemory(uint64_t Address, std::span<uint8_t> Bytes) override;
  bool WriteMemory(uint64_t Address, std::span<const uint8_t> Bytes) override;
  bool InsertBreak(gdb::BreakKind Kind, uint64_t Address, uint64_t Length) override;
  bool RemoveBreak(gdb::BreakKind Kind, uint64_t Address, uint64_t Length) override;
  std::string Monitor(std::string_view Command) override;
  std::optional<uint64_t> SymbolOffset() override { return symbolOffset_; }
  std::string StopReply() override;

  // Answers packets until one resumes the module. A client that is gone detaches.
  gdb::Resume Serve();
  // One run of the stretch GDB asked for, with Ctrl-C watched meanwhile.
  int Execute(bool Step);
  void Send(const std::string& Bytes);
  // Waits for bytes from the client (refusing other clients meanwhile) and feeds them to the
  // reader; false when the client has gone.
  bool ReadClient();
  // Reads what the client has sent into the reader; false when it has gone.
  bool Receive();
  void RefuseOtherClient();
  void DetachAll();

  // Going back (GdbReverse.cpp). Places in the call are counted in instructions executed.
  enum class Going : uint8_t { Live, Replay, Scan };
  struct Hit {
    uint64_t Position;
    std::string Reply;
  };
  void BeginHistory();
  // GDB wrote a register or memory: going back starts from here, as the run before did not lead
  // here.
  void RestartHistory();
  // Answers bs or bc: the stop reply once the run stands where it went back to.
  std::string Reverse(gdb::Resume Action);
  // Takes the run to Position in this call, from the last checkpoint at or before it (or from
  // here when it lies ahead); false when the call ends first, the run then back where it was.
  bool GoTo(uint64_t Position);
  // The latest breakpoint or watchpoint hit before Now, scanning back from the last checkpoint;
  // none when the history begins first. A Ctrl-C stops the scan: Interrupted then says so.
  std::optional<Hit> ScanBack(uint64_t Now, bool& Interrupted);
  // Runs at most Instructions instructions (0: no bound) with GDB's breakpoints unseen, or noted
  // (Scan); a goto's bound on accesses or time stops it too. True when the call has not ended.
  bool RunQuietly(uint64_t Instructions, Going How);
  std::string GotoCommand(std::string_view Arguments);
  // Going back ran differently from the run it went back in: said, and the run stays where it is.
  std::string Lost(uint64_t Position);
  void NoteHit(uint64_t Position, std::string Reply);
  void Say(const std::string& Text);

  struct Hooks;
  class ClientWatch;
  int client_;
  int listening_;
  const sim::Board& board_;
  Machine* machine_ = nullptr;
  gdb::PacketReader reader_;
  bool connected_ = true;
  bool startStopDone_ = false;
  std::string stopReply_ = "S05";
  std::atomic<bool> interruptRequested_{false};
  std::map<uint64_t, size_t> breakpoints_; // address -> hook
  std::vector<Watch> watches_;
  size_t afterAccessHook_ = 0; // while there are watchpoints: stops after the instruction
  bool stepping_ = false;
  bool stepped_ = false;   // the last resumption was a step
  uint64_t resumedAt_ = 0; // a breakpoint here does not stop the resumption it starts at
  bool breakHit_ = false;
  std::optional<Watch> watchHit_;
  uint64_t watchHitAddress_ = 0;
  bool watchStop_ = false;
  GdbHistory history_{HistorySettings{}};
  size_t countHook_ = 0;
  Going going_ = Going::Live;
  uint64_t scanEnd_ = 0;         // a scan notes hits before this place only
  std::optional<Hit> latestHit_; // the scan's latest hit
  // A goto stops once the board has made access pastAccess_ (counted from 0): compared with '>',
  // so that no access number, however large, wraps into one already made.
  std::optional<uint64_t> pastAccess_;
  std::optional<uint64_t> untilTimeNs_; // or once its clock has reached this time
  struct Command {
    std::string Help;
    MonitorCommand Run;
  };
  std::map<std::string, Command, std::less<>> monitor_;
  std::optional<uint32_t> symbolOffset_;
};

} // namespace emu
