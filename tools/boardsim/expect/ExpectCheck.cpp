#include "tools/boardsim/expect/ExpectCheck.h"

#include "common/Format.h"
#include "common/Numbers.h"

#include <optional>

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

Verdict Judge(std::string Name, std::string Expected, std::string Actual, bool Met) {
  return {std::move(Name), std::move(Expected), std::move(Actual),
          Met ? VerdictState::Met : VerdictState::Unmet};
}

// A value the summary shows as text ("EFI_SUCCESS", "1 (TRUE)") with its number beside it where
// the text is not the number itself.
std::string OutcomeText(uint64_t Value, const std::string& Text) {
  return Text == tools::Hex(Value) || Text == tools::HexBytes(Value) ||
                 Text == std::to_string(Value)
             ? Text
             : Text + " (" + tools::Hex(Value) + ")";
}

// Stated as a number (or a string of one), it is compared as a number; otherwise as the text.
Verdict JudgeOutcome(const char* Name, const json& Stated, uint64_t Value,
                     const std::string& Text) {
  std::optional<uint64_t> number;
  if (Stated.is_number_unsigned()) {
    number = Stated.get<uint64_t>();
  } else {
    number = tools::ParseNumber(Stated.get_ref<const std::string&>(), UINT64_MAX);
  }
  if (number) {
    return Judge(Name, tools::Hex(*number), OutcomeText(Value, Text), *number == Value);
  }
  const std::string& stated = Stated.get_ref<const std::string&>();
  return Judge(Name, stated, Text, stated == Text);
}

std::string StatedText(const json& Stated) {
  return Stated.is_string() ? Stated.get<std::string>() : tools::Hex(Stated.get<uint64_t>());
}

Verdict JudgeStatus(const json& Stated, const json& Document) {
  const json& status = Document.at("status");
  if (!status.at("returned").get<bool>()) {
    return Judge("status", StatedText(Stated),
                 "no status, the module did not return (" +
                     status.at("failure").get<std::string>() + ")",
                 false);
  }
  return JudgeOutcome("status", Stated, status.at("value").get<uint64_t>(),
                      status.at("name").get<std::string>());
}

Verdict JudgeReturned(const json& Stated, const json& Document) {
  const auto failed = [&](const std::string& Why) {
    return Judge("returned", StatedText(Stated), Why, false);
  };
  if (!Document.contains("call")) {
    return failed(Document.at("selection").at("returned").get<bool>()
                      ? "no call"
                      : "no call, GetActivePmic did not return");
  }
  const json& call = Document.at("call");
  if (!call.at("offered").get<bool>()) {
    return failed("not called, the slot is not offered");
  }
  if (!call.contains("returned")) {
    return failed("nothing, the slot did not return (" + call.at("failure").get<std::string>() +
                  ")");
  }
  return JudgeOutcome("returned", Stated, call.at("returned").at("value").get<uint64_t>(),
                      call.at("returned").at("text").get<std::string>());
}

// A pad field as the verdict writes it: raw registers in hex, fields in decimal.
std::string PadFieldText(const std::string& Field, const json& Value) {
  if (Value.is_null()) {
    return Field == "pull" ? "none" : "unknown";
  }
  if (Value.is_string()) {
    return Value.get<std::string>();
  }
  if (Value.is_boolean()) {
    return Value.get<bool>() ? "true" : "false";
  }
  return Field == "config" || Field == "value" ? tools::Hex(Value.get<uint64_t>(), 8)
                                               : std::to_string(Value.get<uint64_t>());
}

const json* FindPad(const json& Detail, const PadRef& Pad) {
  for (const json& entry : Detail) {
    if (entry.at("community") == tools::Hex(Pad.Community, 4) && entry.at("pad") == Pad.Pad) {
      return &entry;
    }
  }
  return nullptr;
}

Verdict JudgePad(const PadExpectation& E, const json& Detail) {
  const std::string name = "pad " + FormatPadRef(E.Pad) + " " + E.Field;
  const std::string stated = PadFieldText(E.Field, E.Value);
  const json* pad = FindPad(Detail, E.Pad);
  if (pad == nullptr) {
    return Judge(name, stated, "not shown", false);
  }
  const json& after = (*pad).at("after");
  const bool raw = E.Field == "config" || E.Field == "value";
  const json actual = raw                            ? after.at(E.Field)
                      : after.at("fields").is_null() ? json()
                                                     : after.at("fields").at(DetailField(E.Field));
  return Judge(name, stated, PadFieldText(E.Field, actual), actual == E.Value);
}

// The PMIC bus transactions of the whole run: a boot's, or a slot call's with its selection's.
std::vector<json> TransactionsOf(const json& Document) {
  std::vector<json> all;
  const auto add = [&](const json& Bus) {
    for (const json& t : Bus.at("transactions")) {
      all.push_back(t);
    }
  };
  if (Document.contains("pmic_bus")) {
    add(Document.at("pmic_bus"));
  }
  if (Document.contains("selection") && Document.at("selection").contains("bus")) {
    add(Document.at("selection").at("bus"));
  }
  if (Document.contains("call") && Document.at("call").contains("bus")) {
    add(Document.at("call").at("bus"));
  }
  return all;
}

std::string TransactionText(bool Read, uint32_t Device, uint32_t Register) {
  return std::string("pmic ") + (Read ? "read " : "write ") + tools::HexBytes(Device) + " reg " +
         tools::HexBytes(Register);
}

bool SameRegister(const json& T, bool Read, uint32_t Device, uint32_t Register) {
  return T.at("read") == Read && T.at("device") == Device && T.at("register") == Register;
}

Verdict JudgeTransaction(const TransactionExpectation& E, const std::vector<json>& Bus) {
  std::string name = TransactionText(E.Read, E.Device, E.Register);
  if (E.Value) {
    name += (E.Read ? " -> " : " <- ") + tools::HexBytes(*E.Value);
  }
  std::string seen;
  bool met = false;
  for (const json& t : Bus) {
    if (!SameRegister(t, E.Read, E.Device, E.Register)) {
      continue;
    }
    const json& value = t.at("value");
    const bool aborted = t.at("aborted").get<bool>();
    met = met || (aborted == E.Aborted && (!E.Value || value == *E.Value));
    seen += (seen.empty() ? "" : ", ") +
            (value.is_null() ? std::string("no value") : tools::HexBytes(value.get<uint32_t>())) +
            (aborted ? " aborted" : "");
  }
  return Judge(name, E.Aborted ? "aborted" : "on the bus, not aborted",
               seen.empty() ? "no such transaction" : seen, met);
}

Verdict JudgeRegister(const RegisterExpectation& E, const std::vector<json>& Bus) {
  std::optional<uint32_t> last;
  for (const json& t : Bus) {
    if (SameRegister(t, false, E.Device, E.Register) && !t.at("aborted").get<bool>() &&
        !t.at("value").is_null()) {
      last = t.at("value").get<uint32_t>();
    }
  }
  return Judge("pmic " + tools::HexBytes(E.Device) + " reg " + tools::HexBytes(E.Register),
               "written " + tools::HexBytes(E.Value),
               last ? "written " + tools::HexBytes(*last) : "never written", last == E.Value);
}

// A board file gives several faults under one key (faults.pad_reads_all_ones): each of them
// must have struck, or none.
Verdict JudgeFault(const FaultExpectation& E, const json& Document) {
  size_t given = 0;
  size_t struck = 0;
  for (const json& fault : Document.at("faults")) {
    const json& named = fault.contains("point") ? fault.at("point") : fault.at("key");
    if (named == E.Fault) {
      ++given;
      struck += fault.at("struck").is_null() ? 0 : 1;
    }
  }
  const std::string name = "fault " + E.Fault;
  if (given == 0) {
    return Judge(name, E.Struck ? "struck" : "did not strike",
                 "not given (neither --fault nor the board file)", false);
  }
  if (given == 1) {
    return Judge(name, E.Struck ? "struck" : "did not strike",
                 struck == 1 ? "struck" : "did not strike", (struck == 1) == E.Struck);
  }
  const std::string count = std::to_string(given);
  return Judge(name, E.Struck ? "all " + count + " struck" : "none of " + count + " struck",
               std::to_string(struck) + " of " + count + " struck",
               struck == (E.Struck ? given : 0));
}

std::string BoundText(const Bound& B) {
  if (B.Min && B.Max) {
    return std::to_string(*B.Min) + " to " + std::to_string(*B.Max);
  }
  return B.Min ? "at least " + std::to_string(*B.Min) : "at most " + std::to_string(*B.Max);
}

Verdict JudgeBound(const char* Name, const Bound& B, const json& Actual) {
  if (Actual.is_null()) {
    // The host build runs on the host's own stack, which the runner does not see.
    return {Name, BoundText(B), "not seen in the host build", VerdictState::NotChecked};
  }
  const uint64_t value = Actual.get<uint64_t>();
  return Judge(Name, BoundText(B), std::to_string(value),
               (!B.Min || value >= *B.Min) && (!B.Max || value <= *B.Max));
}

} // namespace

std::vector<Verdict> CheckExpectations(const Expectations& Expected, const json& Document,
                                       const json& PadDetail) {
  std::vector<Verdict> verdicts;
  if (Expected.Status) {
    verdicts.push_back(JudgeStatus(*Expected.Status, Document));
  }
  if (Expected.Returned) {
    verdicts.push_back(JudgeReturned(*Expected.Returned, Document));
  }
  for (const PadExpectation& e : Expected.Pads) {
    verdicts.push_back(JudgePad(e, PadDetail));
  }
  const std::vector<json> bus = TransactionsOf(Document);
  for (const TransactionExpectation& e : Expected.Transactions) {
    verdicts.push_back(JudgeTransaction(e, bus));
  }
  for (const RegisterExpectation& e : Expected.Registers) {
    verdicts.push_back(JudgeRegister(e, bus));
  }
  for (const FaultExpectation& e : Expected.Faults) {
    verdicts.push_back(JudgeFault(e, Document));
  }
  if (Expected.TimeNs) {
    verdicts.push_back(JudgeBound("time_ns", *Expected.TimeNs, Document.at("time_ns")));
  }
  if (Expected.StackUsedBytes) {
    const json& stack = Document.at("stack");
    verdicts.push_back(JudgeBound("stack_used_bytes", *Expected.StackUsedBytes,
                                  stack.is_null() ? json() : stack.at("used_bytes")));
  }
  return verdicts;
}

} // namespace boardsim
