#include "emu/GdbProtocol.h"

#include "common/Format.h"
#include "common/Numbers.h"
#include "emu/GdbPacket.h"

#include <limits>

namespace emu::gdb {

namespace {

const std::string Ok = "OK";
const std::string BadRequest = "E01"; // a packet that does not parse
const std::string NoAccess = "E0e";   // EFAULT: memory the debugger may not read or write
const std::string Refused = "E16";    // EINVAL: a register or breakpoint the target refuses
const std::string Unsupported;        // the protocol's answer to an unknown packet
constexpr std::string_view FeaturesRead = "qXfer:features:read:";

// Splits "a,b" (or "a,b:rest") into two hex numbers and what follows the colon.
struct AddressLength {
  uint64_t Address = 0;
  uint64_t Length = 0;
  std::string_view Rest;
  bool HasRest = false;
};

std::optional<AddressLength> ParseAddressLength(std::string_view Text) {
  const size_t comma = Text.find(',');
  if (comma == std::string_view::npos) {
    return std::nullopt;
  }
  AddressLength parsed;
  std::string_view length = Text.substr(comma + 1);
  if (const size_t colon = length.find(':'); colon != std::string_view::npos) {
    parsed.Rest = length.substr(colon + 1);
    parsed.HasRest = true;
    length = length.substr(0, colon);
  }
  const auto address = tools::ParseHexDigits(Text.substr(0, comma));
  const auto count = tools::ParseHexDigits(length);
  if (!address || !count) {
    return std::nullopt;
  }
  parsed.Address = *address;
  parsed.Length = *count;
  return parsed;
}

Outcome ReadMemory(Target& On, std::string_view Args) {
  const auto request = ParseAddressLength(Args);
  if (!request || request->HasRest || request->Length > PacketSize / 2) {
    return {BadRequest};
  }
  std::vector<uint8_t> bytes(request->Length);
  if (!On.ReadMemory(request->Address, bytes)) {
    return {NoAccess};
  }
  return {ToHex(bytes)};
}

// M carries hex, X carries the bytes themselves (already unescaped by the framing).
Outcome WriteMemory(Target& On, std::string_view Args, bool Binary) {
  const auto request = ParseAddressLength(Args);
  if (!request || !request->HasRest || request->Length > PacketSize) {
    return {BadRequest};
  }
  std::vector<uint8_t> bytes;
  if (Binary) {
    bytes.assign(request->Rest.begin(), request->Rest.end());
  } else if (!FromHex(request->Rest, bytes)) {
    return {BadRequest};
  }
  if (bytes.size() != request->Length) {
    return {BadRequest};
  }
  return {On.WriteMemory(request->Address, bytes) ? Ok : NoAccess};
}

Outcome Breakpoint(Target& On, std::string_view Payload) {
  const bool insert = Payload[0] == 'Z';
  // Z<type>,<address>,<kind>[;conditions]: conditions are not offered, so none come.
  if (Payload.size() < 3 || Payload[1] < '0' || Payload[1] > '4' || Payload[2] != ',') {
    return {Payload.size() >= 2 && Payload[1] >= '0' && Payload[1] <= '9' ? Unsupported
                                                                          : BadRequest};
  }
  const auto request = ParseAddressLength(Payload.substr(3));
  if (!request || request->HasRest) {
    return {BadRequest};
  }
  const auto kind = static_cast<BreakKind>(Payload[1] - '0');
  const bool watch = kind != BreakKind::Software && kind != BreakKind::Hardware;
  if (watch && (request->Length == 0 || request->Length > MaxWatchLength)) {
    return {Refused};
  }
  const bool done = insert ? On.InsertBreak(kind, request->Address, request->Length)
                           : On.RemoveBreak(kind, request->Address, request->Length);
  return {done ? Ok : Refused};
}

Outcome Registers(Target& On, std::string_view Payload) {
  if (Payload[0] == 'g') {
    return {Payload.size() == 1 ? ToHex(On.Registers()) : BadRequest};
  }
  std::vector<uint8_t> block;
  if (!FromHex(Payload.substr(1), block)) {
    return {BadRequest};
  }
  return {On.WriteRegisters(block) ? Ok : Refused};
}

Outcome OneRegister(Target& On, std::string_view Payload) {
  const std::string_view args = Payload.substr(1);
  if (Payload[0] == 'p') {
    const auto number = tools::ParseHexDigits(args);
    if (!number) {
      return {BadRequest};
    }
    if (*number > std::numeric_limits<unsigned>::max()) {
      return {Refused};
    }
    const auto value = On.Register(static_cast<unsigned>(*number));
    return {value ? ToHex(*value) : Refused};
  }
  const size_t equals = args.find('=');
  const auto number = tools::ParseHexDigits(args.substr(0, equals));
  std::vector<uint8_t> value;
  if (equals == std::string_view::npos || !number || !FromHex(args.substr(equals + 1), value)) {
    return {BadRequest};
  }
  if (*number > std::numeric_limits<unsigned>::max()) {
    return {Refused};
  }
  return {On.WriteRegister(static_cast<unsigned>(*number), value) ? Ok : Refused};
}

// qXfer:features:read:target.xml:offset,length
Outcome Features(Target& On, std::string_view Args) {
  const size_t colon = Args.find(':');
  if (colon == std::string_view::npos) {
    return {BadRequest};
  }
  if (Args.substr(0, colon) != "target.xml") {
    return {"E00"}; // an annex the target does not have
  }
  const auto request = ParseAddressLength(Args.substr(colon + 1));
  if (!request || request->HasRest) {
    return {BadRequest};
  }
  const std::string xml = On.Description();
  if (request->Address >= xml.size()) {
    return {"l"};
  }
  const std::string part = xml.substr(request->Address, request->Length);
  const bool last = request->Address + part.size() >= xml.size();
  return {(last ? "l" : "m") + part};
}

Outcome Monitor(Target& On, std::string_view HexCommand) {
  std::vector<uint8_t> command;
  if (!FromHex(HexCommand, command)) {
    return {BadRequest};
  }
  const std::string output =
      On.Monitor({reinterpret_cast<const char*>(command.data()), command.size()});
  return {output.empty() ? Ok : ToHex(output)};
}

// vCont;action[:thread][;action...]: one thread, so the first action is the one.
Outcome ContinueAction(std::string_view Actions) {
  if (Actions.empty() || Actions[0] != ';' || Actions.size() < 2) {
    return {BadRequest};
  }
  switch (Actions[1]) {
  case 'c':
  case 'C':
    return {std::nullopt, Resume::Continue};
  case 's':
  case 'S':
    return {std::nullopt, Resume::Step};
  default:
    return {BadRequest};
  }
}

// A client that loaded the debug twin before connecting asks this once: every section of the
// twin moves by the same distance (its code and its data alike), so one number answers both.
Outcome Offsets(Target& On) {
  const std::optional<uint64_t> offset = On.SymbolOffset();
  if (!offset) {
    return {Unsupported};
  }
  const std::string offsetText = tools::HexDigits(*offset);
  return {"Text=" + offsetText + ";Data=" + offsetText + ";Bss=" + offsetText};
}

Outcome Query(Target& On, std::string_view Payload) {
  if (Payload.starts_with("qSupported")) {
    return {"PacketSize=" + tools::HexDigits(PacketSize) +
            ";qXfer:features:read+;swbreak+;hwbreak+;vContSupported+;ReverseStep+;"
            "ReverseContinue+"};
  }
  if (Payload.starts_with(FeaturesRead)) {
    return Features(On, Payload.substr(FeaturesRead.size()));
  }
  if (Payload.starts_with("qRcmd,")) {
    return Monitor(On, Payload.substr(6));
  }
  if (Payload == "qAttached") {
    return {"1"}; // detaching leaves the run going, as it does with a process attached to
  }
  if (Payload == "qC") {
    return {"QC1"};
  }
  if (Payload == "qfThreadInfo") {
    return {"m1"};
  }
  if (Payload == "qsThreadInfo") {
    return {"l"};
  }
  if (Payload.starts_with("qSymbol")) {
    return {Ok};
  }
  if (Payload == "qOffsets") {
    return Offsets(On);
  }
  return {Unsupported};
}

Outcome Verb(std::string_view Payload) {
  if (Payload == "vCont?") {
    return {"vCont;c;C;s;S"};
  }
  if (Payload.starts_with("vCont;")) {
    return ContinueAction(Payload.substr(5));
  }
  if (Payload.starts_with("vKill")) {
    return {Ok, Resume::Kill};
  }
  return {Unsupported};
}

} // namespace

Outcome Handle(Target& On, std::string_view Payload) {
  if (Payload.empty()) {
    return {Unsupported};
  }
  const std::string_view args = Payload.substr(1);
  switch (Payload[0]) {
  case '?':
    return {On.StopReply()};
  case 'g':
  case 'G':
    return Registers(On, Payload);
  case 'p':
  case 'P':
    return OneRegister(On, Payload);
  case 'm':
    return ReadMemory(On, args);
  case 'M':
    return WriteMemory(On, args, false);
  case 'X':
    return WriteMemory(On, args, true);
  case 'Z':
  case 'z':
    return Breakpoint(On, Payload);
  case 'c':
  case 's':
    // Resuming at another address is not offered; GDB writes EIP instead.
    if (!args.empty()) {
      return {BadRequest};
    }
    return {std::nullopt, Payload[0] == 'c' ? Resume::Continue : Resume::Step};
  case 'C':
  case 'S': // with a signal, which a bare CPU has no way to deliver: as c and s
    if (args.find(';') != std::string_view::npos || !tools::ParseHexDigits(args)) {
      return {BadRequest};
    }
    return {std::nullopt, Payload[0] == 'C' ? Resume::Continue : Resume::Step};
  case 'b':
    if (Payload == "bs" || Payload == "bc") {
      return {std::nullopt, Payload == "bs" ? Resume::ReverseStep : Resume::ReverseContinue};
    }
    return {Unsupported}; // the old baud-rate packet, and nothing else
  case 'D':
    return {Ok, Resume::Detach};
  case 'k':
    return {std::nullopt, Resume::Kill};
  case 'H':
    return {Ok}; // one thread: every thread is it
  case 'T':
    return {Ok}; // and it is alive
  case 'q':
    return Query(On, Payload);
  case 'v':
    return Verb(Payload);
  default:
    return {Unsupported};
  }
}

} // namespace emu::gdb
