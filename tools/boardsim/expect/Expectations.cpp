#include "tools/boardsim/expect/Expectations.h"

#include "common/ToolError.h"
#include "common/files/InputFile.h"
#include "sim/BoardFileDocument.h"
#include "sim/BoardFileReader.h"

#include <algorithm>
#include <cstdint>

namespace boardsim {

namespace {

using sim::BoardJson;
using sim::FindMember;

// An expectation file is a page of text; anything much larger is not one.
constexpr uint64_t MaxExpectationBytes = 1 << 20;

constexpr uint64_t Max32 = 0xFFFFFFFF;

// The decoded fields of a pad as the pad detail names them, with the largest value each can take.
struct FieldRange {
  const char* Name;
  uint64_t Max;
};
constexpr FieldRange NumberFields[] = {{"mode", 7},    {"direction", 7},  {"pull_bits", 15},
                                       {"nibble", 15}, {"config", Max32}, {"value", Max32}};

BoardJson PadFieldValue(const sim::BoardFileReader& R, const std::string& Field,
                        const BoardJson& V) {
  if (Field == "level") {
    const std::string level = R.String(V, "level");
    if (level != "high" && level != "low") {
      R.Fail(V, "level must be \"high\" or \"low\"");
    }
    return level;
  }
  if (Field == "gpio") {
    return R.Boolean(V, "gpio");
  }
  if (Field == "pull") {
    // null: the register's pull bits match none of the table's patterns.
    return V.is_null() ? BoardJson() : BoardJson(R.Integer(V, "pull", 5));
  }
  for (const FieldRange& range : NumberFields) {
    if (DetailField(Field) == range.Name) {
      return R.Integer(V, Field, range.Max);
    }
  }
  R.FailAtKey(V, "unknown pad field " + sim::QuoteText(Field) +
                     " (expected one of: mode, function, gpio, direction, level, pull, pull_bits, "
                     "nibble, config, value)");
}

void ReadPads(const sim::BoardFileReader& R, const BoardJson& V, Expectations& Out) {
  for (const auto& [name, fields] : R.Object(V, "pads").get_ref<const BoardJson::object_t&>()) {
    PadRef pad{};
    std::string problem;
    if (!ParsePadRef(name, pad, problem)) {
      R.FailAtKey(fields, "pad " + sim::QuoteText(name) + ": " + problem);
    }
    if (R.Object(fields, "a pad's fields").empty()) {
      R.Fail(fields, "pad " + sim::QuoteText(name) + " states no field");
    }
    for (const auto& [field, value] : fields.get_ref<const BoardJson::object_t&>()) {
      Out.Pads.push_back({pad, field, PadFieldValue(R, field, value)});
    }
  }
}

void ReadTransactions(const sim::BoardFileReader& R, const BoardJson& V, Expectations& Out) {
  for (const BoardJson& entry : R.Array(V, "pmic_transactions")) {
    R.Keys(entry, {"op", "device", "register", "value", "aborted"});
    const BoardJson* op = FindMember(entry, "op");
    const BoardJson* device = FindMember(entry, "device");
    const BoardJson* reg = FindMember(entry, "register");
    if (op == nullptr || device == nullptr || reg == nullptr) {
      R.Fail(entry, "a transaction needs \"op\", \"device\" and \"register\"");
    }
    const std::string kind = R.String(*op, "op");
    if (kind != "read" && kind != "write") {
      R.Fail(*op, "op must be \"read\" or \"write\"");
    }
    TransactionExpectation t;
    t.Read = kind == "read";
    t.Device = static_cast<uint32_t>(R.Integer(*device, "device", 0x3FF));
    t.Register = static_cast<uint32_t>(R.Integer(*reg, "register", 0xFF));
    if (const BoardJson* value = FindMember(entry, "value")) {
      t.Value = static_cast<uint32_t>(R.Integer(*value, "value", 0xFF));
    }
    if (const BoardJson* aborted = FindMember(entry, "aborted")) {
      t.Aborted = R.Boolean(*aborted, "aborted");
    }
    Out.Transactions.push_back(t);
  }
}

// "0x34:0x30": the device's address and the register.
void ReadRegisters(const sim::BoardFileReader& R, const BoardJson& V, Expectations& Out) {
  for (const auto& [name, value] :
       R.Object(V, "pmic_registers").get_ref<const BoardJson::object_t&>()) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos) {
      R.FailAtKey(value, "register " + sim::QuoteText(name) +
                             ": expected DEVICE:REGISTER, such as \"0x34:0x30\"");
    }
    RegisterExpectation e;
    e.Device = static_cast<uint32_t>(R.KeyInteger(name.substr(0, colon), value, "device", 0x3FF));
    e.Register =
        static_cast<uint32_t>(R.KeyInteger(name.substr(colon + 1), value, "register", 0xFF));
    e.Value = static_cast<uint32_t>(R.Integer(value, "a register's value", 0xFF));
    Out.Registers.push_back(e);
  }
}

void ReadFaults(const sim::BoardFileReader& R, const BoardJson& V, Expectations& Out) {
  for (const auto& [fault, struck] : R.Object(V, "faults").get_ref<const BoardJson::object_t&>()) {
    Out.Faults.push_back({fault, R.Boolean(struck, "whether a fault struck")});
  }
}

Bound ReadBound(const sim::BoardFileReader& R, const BoardJson& V, const char* What) {
  R.Keys(V, {"min", "max"});
  Bound bound;
  if (const BoardJson* min = FindMember(V, "min")) {
    bound.Min = R.Integer(*min, std::string(What) + " min", UINT64_MAX);
  }
  if (const BoardJson* max = FindMember(V, "max")) {
    bound.Max = R.Integer(*max, std::string(What) + " max", UINT64_MAX);
  }
  if (!bound.Min && !bound.Max) {
    R.Fail(V, std::string(What) + " needs \"min\", \"max\" or both");
  }
  if (bound.Min && bound.Max && *bound.Min > *bound.Max) {
    R.Fail(V, std::string(What) + ": min is above max");
  }
  return bound;
}

// A status or a returned value: a number, or the text the summary shows ("EFI_SUCCESS").
BoardJson ReadOutcome(const sim::BoardFileReader& R, const BoardJson& V, const char* What) {
  if (V.is_string()) {
    if (V.get_ref<const std::string&>().empty()) {
      R.Fail(V, std::string(What) + " must not be empty");
    }
    return V;
  }
  return R.Integer(V, What, Max32);
}

void ReadOutcomes(const sim::BoardFileReader& R, const BoardJson& Root, ExpectingOf Command,
                  Expectations& Out) {
  const BoardJson* status = FindMember(Root, "status");
  const BoardJson* returned = FindMember(Root, "returned");
  if (status != nullptr && Command == ExpectingOf::Op) {
    R.FailAtKey(*status, "\"status\" is a boot's (boardsim run); a slot call states \"returned\"");
  }
  if (returned != nullptr && Command == ExpectingOf::Run) {
    R.FailAtKey(*returned, "\"returned\" is a slot call's (boardsim op); a boot states \"status\"");
  }
  if (status != nullptr) {
    Out.Status = ReadOutcome(R, *status, "status");
  }
  if (returned != nullptr) {
    Out.Returned = ReadOutcome(R, *returned, "returned");
  }
}

Expectations ParseExpectations(const std::string& Text, const std::string& Path,
                               ExpectingOf Command) {
  const sim::BoardDocument document(Text, Path);
  const sim::BoardFileReader reader(document);
  const BoardJson& root = document.Root();
  reader.Keys(root, {"$schema", "description", "status", "returned", "pads", "pmic_transactions",
                     "pmic_registers", "faults", "time_ns", "stack_used_bytes"});
  Expectations out;
  out.Path = Path;
  ReadOutcomes(reader, root, Command, out);
  if (const BoardJson* pads = FindMember(root, "pads")) {
    ReadPads(reader, *pads, out);
  }
  if (const BoardJson* transactions = FindMember(root, "pmic_transactions")) {
    ReadTransactions(reader, *transactions, out);
  }
  if (const BoardJson* registers = FindMember(root, "pmic_registers")) {
    ReadRegisters(reader, *registers, out);
  }
  if (const BoardJson* faults = FindMember(root, "faults")) {
    ReadFaults(reader, *faults, out);
  }
  if (const BoardJson* time = FindMember(root, "time_ns")) {
    out.TimeNs = ReadBound(reader, *time, "time_ns");
  }
  if (const BoardJson* stack = FindMember(root, "stack_used_bytes")) {
    out.StackUsedBytes = ReadBound(reader, *stack, "stack_used_bytes");
  }
  return out;
}

} // namespace

std::vector<PadRef> Expectations::PadsNamed() const {
  std::vector<PadRef> named;
  for (const PadExpectation& e : Pads) {
    if (std::find(named.begin(), named.end(), e.Pad) == named.end()) {
      named.push_back(e.Pad);
    }
  }
  return named;
}

Expectations LoadExpectations(const std::string& Path, ExpectingOf Command) {
  std::string text;
  try {
    const std::vector<uint8_t> bytes =
        files::ReadInput(Path, MaxExpectationBytes, "an expectation file");
    text.assign(bytes.begin(), bytes.end());
  } catch (const files::InputError& error) {
    throw tools::ToolError("boardsim: " + Path + ": " + error.what(), tools::ExitBadInput);
  }
  try {
    return ParseExpectations(text, Path, Command);
  } catch (const sim::BoardFileError& error) {
    throw tools::ToolError(std::string("boardsim: ") + error.what(), tools::ExitBadInput);
  }
}

} // namespace boardsim
