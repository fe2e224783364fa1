#include "emu/GdbServer.h"

#include "common/Format.h"
#include "emu/GdbClientWatch.h"
#include "emu/GdbI386.h"
#include "emu/Machine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unicorn/unicorn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace emu {

namespace {

// Stop replies: SIGTRAP for breakpoints, steps and the first stop; SIGINT for Ctrl-C.
constexpr const char* TrapStop = "S05";
constexpr const char* InterruptStop = "S02";
constexpr uint64_t AddressSpaceEnd = uint64_t{1} << 32;
// A watchpoint's stop reason, by gdb::BreakKind.
constexpr const char* WatchNames[] = {"", "", "watch", "rwatch", "awatch"};

// The stop reply of a watchpoint of Kind that an access at Address struck.
std::string WatchReply(gdb::BreakKind Kind, uint64_t Address) {
  return std::string("T05") + WatchNames[static_cast<int>(Kind)] + ":" + tools::HexDigits(Address) +
         ";";
}

[[noreturn]] void BadAddress(const std::string& Where, const std::string& Why) {
  throw std::invalid_argument(Where + ": " + Why);
}

bool SendAll(int Fd, std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t sent = send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent <= 0) {
      return false;
    }
    Bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

} // namespace

GdbListener::GdbListener(const std::string& Where) {
  const size_t colon = Where.rfind(':');
  std::string host = colon == std::string::npos ? "" : Where.substr(0, colon);
  const std::string portText = colon == std::string::npos ? Where : Where.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] =
      std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() ||
      port > 65535) {
    BadAddress(Where, "expected [HOST:]PORT with a port from 0 to 65535");
  }
  if (host.empty()) {
    host = "127.0.0.1"; // only this machine, unless a host is named
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), portText.c_str(), &hints, &found) != 0 || found == nullptr) {
    BadAddress(Where, "unknown host '" + host + "'");
  }
  fd_ = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
  const int reuse = 1;
  if (fd_ >= 0) {
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  }
  if (fd_ < 0 || bind(fd_, found->ai_addr, found->ai_addrlen) != 0 || listen(fd_, 1) != 0) {
    const std::string why = std::strerror(errno);
    freeaddrinfo(found);
    if (fd_ >= 0) {
      close(fd_);
    }
    BadAddress(Where, "cannot listen: " + why);
  }
  freeaddrinfo(found);
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &size);
  port_ = ntohs(bound.sin_port);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text);
  address_ = std::string(text) + ":" + std::to_string(port_);
}

GdbListener::~GdbListener() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

int GdbListener::Accept() {
  int client = -1;
  do {
    client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (client < 0 && errno == EINTR);
  if (client < 0) {
    throw std::runtime_error(std::string("GDB server: cannot accept: ") + std::strerror(errno));
  }
  const int on = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return client;
}

// Unicorn's callbacks. Each only notes what happened and stops the emulation; the server decides
// what GDB is told once uc_emu_start has returned.
struct GdbServer::Hooks {
  static void Break(uc_engine* Uc, uint64_t Address, uint32_t, void* Self) {
    GdbServer& s = *static_cast<GdbServer*>(Self);
    if (s.going_ != Going::Live) {
      // The count hook came first and counted this instruction, which has not run yet.
      s.NoteHit(s.machine_->CallInstructions() - 1, "T05hwbreak:;");
      return;
    }
    if (s.stepping_ || Address == s.resumedAt_) {
      s.resumedAt_ = 0; // only the first instruction of a resumption passes its breakpoint
      return;
    }
    s.breakHit_ = true;
    s.machine_->SetPauseCountedAt(Address);
    uc_emu_stop(Uc);
  }

  // A watched RAM access: the instruction completes, and the run stops before the next one.
  static bool Access(uc_engine*, int Type, uint64_t Address, int Size, int64_t, void* Self) {
    GdbServer& s = *static_cast<GdbServer*>(Self);
    const bool write = Type == UC_MEM_WRITE;
    for (const Watch& watch : s.watches_) {
      const bool kindMatches =
          watch.Kind == gdb::BreakKind::Access || (watch.Kind == gdb::BreakKind::Write) == write;
      if (!kindMatches || Address >= watch.Address + watch.Length ||
          watch.Address >= Address + static_cast<uint64_t>(Size)) {
        continue;
      }
      const uint64_t at = std::max(Address, watch.Address);
      if (s.going_ != Going::Live) {
        // Going back, a watchpoint stops at the instruction that made the access, not yet run.
        s.NoteHit(s.machine_->CallInstructions() - 1, WatchReply(watch.Kind, at));
      } else if (!s.watchHit_) {
        s.watchHit_ = watch;
        s.watchHitAddress_ = at;
      }
    }
    return true;
  }

  // While GDB can go back: counts the call's instructions, each as it is about to run (added
  // before any breakpoint's hook, so a breakpoint that stops finds its instruction counted). A
  // goto stops here, before the instruction after the access it was sent to.
  static void Count(uc_engine* Uc, uint64_t, uint32_t, void* Self) {
    GdbServer& s = *static_cast<GdbServer*>(Self);
    const sim::Board& board = s.machine_->GetBoard();
    if ((s.pastAccess_ && board.AccessCount() > *s.pastAccess_) ||
        (s.untilTimeNs_ && board.GetClock().NowNs() >= *s.untilTimeNs_)) {
      uc_emu_stop(Uc);
      return;
    }
    s.machine_->SetCallInstructions(s.machine_->CallInstructions() + 1);
  }

  static void AfterAccess(uc_engine* Uc, uint64_t Address, uint32_t, void* Self) {
    GdbServer& s = *static_cast<GdbServer*>(Self);
    if (s.watchHit_ && !s.watchStop_ && s.going_ == Going::Live) {
      s.watchStop_ = true;
      s.machine_->SetPauseCountedAt(Address);
      uc_emu_stop(Uc);
    }
  }
};

GdbServer::GdbServer(int Client, const sim::Board& Board, int Listening)
    : client_(Client), listening_(Listening), board_(Board) {
  AddMonitorCommand("time", "virtual time: how far the board's clock has moved", [this](auto) {
    const uint64_t ns = board_.GetClock().NowNs();
    return std::to_string(ns) + " ns of virtual time (" + tools::Milliseconds(ns) + ")\n";
  });
  AddMonitorCommand(
      "trace", "trace N: the last N accesses, oldest first (N at most 16; default 10)",
      [this](std::string_view Arguments) {
        size_t count = 10;
        if (!Arguments.empty()) {
          const auto [end, error] =
              std::from_chars(Arguments.data(), Arguments.data() + Arguments.size(), count);
          if (error != std::errc() || end != Arguments.data() + Arguments.size()) {
            return std::string("trace takes a number of accesses\n");
          }
        }
        std::string text;
        if (count > sim::Trace::RecentCount) {
          text = "the last " + std::to_string(sim::Trace::RecentCount) +
                 " accesses (the runner keeps no more):\n";
        }
        for (const sim::Access& access : board_.GetTrace().Recent(count)) {
          text += sim::FormatAccess(access) + "\n";
        }
        return text.empty() ? std::string("no access yet\n") : text;
      });
  AddMonitorCommand("goto",
                    "goto access N | goto time T: the run just after access N, or where the clock "
                    "first reads T ns or more (back or on, in this call)",
                    [this](std::string_view Arguments) { return GotoCommand(Arguments); });
  AddMonitorCommand("checkpoints", "what is kept to go back, and its memory",
                    [this](auto) { return history_.Describe(); });
}

GdbServer::~GdbServer() {
  close(client_);
}

void GdbServer::AddMonitorCommand(const std::string& Name, const std::string& Help,
                                  MonitorCommand Command) {
  monitor_[Name] = {Help, std::move(Command)};
}

void GdbServer::Send(const std::string& Bytes) {
  if (connected_ && !SendAll(client_, Bytes)) {
    connected_ = false;
  }
}

bool GdbServer::Receive() {
  char buffer[4096];
  for (;;) {
    const ssize_t got = recv(client_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      reader_.Feed({buffer, static_cast<size_t>(got)});
      return true;
    }
    if (got < 0 && errno == EINTR) {
      continue;
    }
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

void GdbServer::RefuseOtherClient() {
  const int other = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (other >= 0) {
    close(other);
  }
}

bool GdbServer::ReadClient() {
  pollfd fds[2] = {{client_, POLLIN, 0}, {listening_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, listening_ >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      RefuseOtherClient();
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      if (Receive()) {
        return true;
      }
      break;
    }
  }
  connected_ = false;
  return false;
}

gdb::Resume GdbServer::Serve() {
  while (connected_) {
    const std::optional<gdb::Received> received = reader_.Next();
    if (!received) {
      ReadClient();
      continue;
    }
    if (received->What == gdb::Received::Kind::Interrupt) {
      continue; // already stopped
    }
    if (received->What == gdb::Received::Kind::BadPacket) {
      Send("-");
      continue;
    }
    Send("+");
    const gdb::Outcome outcome = gdb::Handle(*this, received->Payload);
    if (outcome.Reply) {
      Send(gdb::Frame(*outcome.Reply));
    }
    if (outcome.Action != gdb::Resume::None) {
      return outcome.Action;
    }
  }
  return gdb::Resume::Detach; // a client that vanished leaves the run going, as a detach does
}

int GdbServer::Execute(bool Step) {
  // A Ctrl-C that came with the packet that resumed counts as one that comes at once.
  interruptRequested_ = reader_.TakeInterrupt();
  // Unicorn counts instructions for a step with a hook that only translations made after it was
  // added call, and leaves calls to it in them afterwards: the translations are made anew on the
  // way into a step and on the way out.
  if (Step || stepped_) {
    machine_->DropCodeTranslations();
  }
  stepping_ = Step;
  stepped_ = Step;
  uc_err error = UC_ERR_OK;
  {
    const ClientWatch watch(*this);
    error = static_cast<uc_err>(machine_->Continue(Step ? 1 : 0));
  }
  stepping_ = false;
  interruptRequested_ = false;
  return error;
}

void GdbServer::DetachAll() {
  for (const auto& [address, hook] : breakpoints_) {
    machine_->RemoveHook(hook);
  }
  breakpoints_.clear();
  for (const Watch& watch : watches_) {
    machine_->RemoveHook(watch.Hook);
  }
  watches_.clear();
  if (afterAccessHook_ != 0) {
    machine_->RemoveHook(afterAccessHook_);
    afterAccessHook_ = 0;
  }
  if (countHook_ != 0) {
    machine_->RemoveHook(countHook_); // no going back without GDB
    countHook_ = 0;
    machine_->Record(nullptr);
  }
  machine_->DropCodeTranslations();
  connected_ = false;
}

int GdbServer::DriveCall(Machine& M) {
  machine_ = &M;
  if (connected_) {
    BeginHistory();
  }
  gdb::Resume action = gdb::Resume::Continue;
  if (!startStopDone_) {
    startStopDone_ = true;
    action = Serve(); // GDB connects to a module stopped before its first instruction
  }
  for (;;) {
    if (!connected_ || action == gdb::Resume::Detach) {
      if (connected_ || !breakpoints_.empty() || !watches_.empty() || countHook_ != 0) {
        DetachAll();
      }
      return M.Continue(0);
    }
    if (action == gdb::Resume::Kill) {
      DetachAll();
      M.Stop("killed by GDB");
      return UC_ERR_OK;
    }
    if (action == gdb::Resume::ReverseStep || action == gdb::Resume::ReverseContinue) {
      stopReply_ = Reverse(action);
      Send(gdb::Frame(stopReply_));
      action = Serve();
      continue;
    }
    const bool step = action == gdb::Resume::Step;
    const uint64_t from = M.Eip();
    resumedAt_ = breakpoints_.contains(from) ? from : 0;
    if (from != M.PauseCountedAt()) {
      M.SetPauseCountedAt(0); // GDB moved EIP: the counted hint is not the one that runs next
    }
    breakHit_ = false;
    watchHit_.reset();
    watchStop_ = false;
    const int error = Execute(step);
    const uint64_t eip = M.Eip();
    if (M.Stopped() || error != UC_ERR_OK || eip == ReturnTrap) {
      return error; // the call is over; GDB hears of the run's end from Finish
    }
    if (countHook_ != 0 && (breakHit_ || watchStop_)) {
      M.SetCallInstructions(M.CallInstructions() - 1); // counted as it was about to run; not run
    }
    if (const std::optional<std::string> note = history_.TakeNote()) {
      Say(*note);
    }
    if (watchHit_) {
      stopReply_ = WatchReply(watchHit_->Kind, watchHitAddress_);
    } else if (breakHit_) {
      stopReply_ = "T05hwbreak:;";
    } else if (M.Interrupted()) {
      stopReply_ = InterruptStop;
    } else if (step) {
      stopReply_ = TrapStop;
    } else {
      return error; // a `hlt`: the machine says so
    }
    M.SetPauseCountedAt(M.PauseCountedAt() == eip ? eip : 0);
    Send(gdb::Frame(stopReply_));
    action = Serve();
  }
}

void GdbServer::BeginHistory() {
  if (!history_.On()) {
    return;
  }
  if (countHook_ == 0) {
    // Added before any breakpoint's hook: see Hooks::Count.
    countHook_ = machine_->AddCodeHook(1, 0, Hooks::Count, this);
    if (countHook_ == 0) {
      throw std::runtime_error("GDB server: cannot count instructions to go back");
    }
    machine_->DropCodeTranslations();
  }
  machine_->SetCallInstructions(0);
  history_.Begin(machine_->Save());
  machine_->Record(&history_);
}

void GdbServer::Finish(int ExitStatus) {
  const uint8_t status = static_cast<uint8_t>(ExitStatus & 0xFF);
  Send(gdb::Frame("W" + gdb::ToHex(std::span<const uint8_t>(&status, 1))));
  connected_ = false;
}

std::string GdbServer::StopReply() {
  return stopReply_;
}

std::string GdbServer::Description() {
  return gdb::I386TargetXml();
}

std::vector<uint8_t> GdbServer::Registers() {
  std::vector<uint8_t> block;
  for (unsigned number = 0; number < gdb::I386Registers().size(); ++number) {
    const std::vector<uint8_t> value = *Register(number);
    block.insert(block.end(), value.begin(), value.end());
  }
  return block;
}

bool GdbServer::WriteRegisters(std::span<const uint8_t> Block) {
  if (Block.size() != Registers().size()) {
    return false;
  }
  // All or nothing: a read-only register that would change refuses the whole block.
  std::vector<std::pair<unsigned, std::span<const uint8_t>>> changes;
  size_t at = 0;
  for (unsigned number = 0; number < gdb::I386Registers().size(); ++number) {
    const unsigned bytes = gdb::I386Registers()[number].Bytes;
    const std::span<const uint8_t> value = Block.subspan(at, bytes);
    at += bytes;
    const std::vector<uint8_t> now = *Register(number);
    if (!std::equal(now.begin(), now.end(), value.begin())) {
      if (!gdb::I386Registers()[number].Writable) {
        return false;
      }
      changes.emplace_back(number, value);
    }
  }
  for (const auto& [number, value] : changes) {
    WriteRegister(number, value);
  }
  return true;
}

std::optional<std::vector<uint8_t>> GdbServer::Register(unsigned Number) {
  if (Number >= gdb::I386Registers().size()) {
    return std::nullopt;
  }
  const gdb::I386Register& reg = gdb::I386Registers()[Number];
  std::vector<uint8_t> value(reg.Bytes, 0);
  if (reg.EmulatorId == 0) {
    return value;
  }
  machine_->ReadRegister(reg.EmulatorId, value);
  return value;
}

bool GdbServer::WriteRegister(unsigned Number, std::span<const uint8_t> Value) {
  if (Number >= gdb::I386Registers().size() || !gdb::I386Registers()[Number].Writable ||
      Value.size() != 4) {
    return false;
  }
  RestartHistory();
  uint32_t word = 0;
  std::memcpy(&word, Value.data(), 4);
  return machine_->WriteRegister(gdb::I386Registers()[Number].EmulatorId, word);
}

// RAM only: the machine's image, stack and hand-off memory. The board's space is refused, and
// so is what is not mapped.
bool GdbServer::ReadMemory(uint64_t Address, std::span<uint8_t> Bytes) {
  return Address + Bytes.size() <= AddressSpaceEnd &&
         machine_->ReadMemory(static_cast<uint32_t>(Address), Bytes);
}

bool GdbServer::WriteMemory(uint64_t Address, std::span<const uint8_t> Bytes) {
  if (Address + Bytes.size() > AddressSpaceEnd ||
      !machine_->WriteMemory(static_cast<uint32_t>(Address), Bytes)) {
    return false;
  }
  RestartHistory();
  machine_->DropTranslations(Address, Address + Bytes.size()); // the code written may have run
  return true;
}

// Both kinds of breakpoint are a hook on the address, so the module's code is never patched and
// GDB reads it as it is.
bool GdbServer::InsertBreak(gdb::BreakKind Kind, uint64_t Address, uint64_t Length) {
  if (Kind == gdb::BreakKind::Software || Kind == gdb::BreakKind::Hardware) {
    if (Address >= AddressSpaceEnd) {
      return false;
    }
    if (!breakpoints_.contains(Address)) {
      const size_t hook = machine_->AddCodeHook(Address, Address, Hooks::Break, this);
      if (hook == 0) {
        return false;
      }
      breakpoints_[Address] = hook;
      machine_->DropTranslations(Address, Address + 1);
    }
    return true;
  }
  // Watchpoints: RAM only (the board's registers are not memory to watch), a hook over the range.
  // The length is checked before anything is sized by it.
  if (Length == 0 || Length > gdb::MaxWatchLength || Address >= BoardMemoryBase ||
      Length > BoardMemoryBase - Address) {
    return false;
  }
  std::vector<uint8_t> probe(Length);
  if (!machine_->ReadMemory(static_cast<uint32_t>(Address), probe)) {
    return false;
  }
  const size_t hook =
      machine_->AddAccessHook(Kind != gdb::BreakKind::Write, Kind != gdb::BreakKind::Read, Address,
                              Address + Length - 1, Hooks::Access, this);
  if (hook == 0) {
    return false;
  }
  if (afterAccessHook_ == 0) {
    afterAccessHook_ = machine_->AddCodeHook(1, 0, Hooks::AfterAccess, this);
    if (afterAccessHook_ == 0) {
      machine_->RemoveHook(hook);
      return false;
    }
  }
  watches_.push_back({Kind, Address, Length, hook});
  machine_->DropCodeTranslations();
  return true;
}

bool GdbServer::RemoveBreak(gdb::BreakKind Kind, uint64_t Address, uint64_t Length) {
  if (Kind == gdb::BreakKind::Software || Kind == gdb::BreakKind::Hardware) {
    const auto found = breakpoints_.find(Address);
    if (found == breakpoints_.end()) {
      return false;
    }
    machine_->RemoveHook(found->second);
    breakpoints_.erase(found);
    machine_->DropTranslations(Address, Address + 1);
    return true;
  }
  const auto found = std::find_if(watches_.begin(), watches_.end(), [&](const Watch& W) {
    return W.Kind == Kind && W.Address == Address && W.Length == Length;
  });
  if (found == watches_.end()) {
    return false;
  }
  machine_->RemoveHook(found->Hook);
  watches_.erase(found);
  if (watches_.empty()) {
    machine_->RemoveHook(afterAccessHook_); // no per-instruction hook without a watchpoint
    afterAccessHook_ = 0;
  }
  machine_->DropCodeTranslations();
  return true;
}

std::string GdbServer::Monitor(std::string_view Command) {
  const size_t space = Command.find(' ');
  const std::string_view name = Command.substr(0, space);
  std::string_view arguments = space == std::string_view::npos ? "" : Command.substr(space + 1);
  while (!arguments.empty() && arguments.front() == ' ') {
    arguments.remove_prefix(1);
  }
  const auto found = monitor_.find(name);
  if (found != monitor_.end()) {
    return found->second.Run(arguments);
  }
  std::string help = name == "help" || name.empty()
                         ? std::string()
                         : "unknown monitor command '" + std::string(name) + "'\n";
  help += "monitor commands:\n";
  for (const auto& [command, entry] : monitor_) {
    help += "  " + command + std::string(command.size() < 7 ? 7 - command.size() : 1, ' ') +
            entry.Help + "\n";
  }
  help += "  help   this list\n";
  return help;
}

} // namespace emu
