#include "tools/boardsim/render/SummaryJson.h"

#include "common/Printable.h"
#include "tools/boardsim/render/JsonViews.h"
#include "tools/run/StatusName.h"

#include <ostream>

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

constexpr int Indent = 2;

json PadCountsJson(const PadChanges& Changes, const std::optional<std::vector<PadRecord>>& Detail) {
  json pads = {{"changed", Changes.Changed},
               {"changed_configuration", Changes.Configuration},
               {"changed_direction", Changes.Direction},
               {"changed_level", Changes.Level}};
  if (Detail) {
    pads["detail"] = PadsJson(*Detail);
  }
  return pads;
}

json AccessesJson(const sim::Board& Board) {
  json devices = json::array();
  for (const auto& [device, counts] : Board.Counts()) {
    devices.push_back({{"device", device}, {"reads", counts.Reads}, {"writes", counts.Writes}});
  }
  return {{"total", Board.AccessCount()}, {"pause_hints", Board.Pauses()}, {"by_device", devices}};
}

// The faults as given: a board file's by where they stand there, with their value as JSON; a
// --fault point as typed.
json FaultsJson(const RunFaults& Faults) {
  json faults = json::array();
  for (const sim::GivenFault& fault : Faults.FromBoard) {
    faults.push_back(
        {{"source", "board-file"}, {"key", fault.Key}, {"value", json::parse(fault.Value)}});
  }
  for (const std::string& point : Faults.Points) {
    faults.push_back({{"source", "command-line"}, {"point", tools::Printable(point)}});
  }
  // Where each struck: the access that could first see it (null: it struck after the last one,
  // where the module could not) and when; null for a fault that did not strike.
  for (size_t i = 0; i < Faults.Struck.size() && i < faults.size(); ++i) {
    const std::optional<sim::Strike>& struck = Faults.Struck[i];
    faults[i]["struck"] =
        struck ? json{{"access", struck->Access < Faults.Accesses ? json(struck->Access) : json()},
                      {"time_ns", struck->TimeNs}}
               : json();
  }
  return faults;
}

// What run's and op's documents open with: the command, the board, the form, the faults.
JsonMembers HeaderJson(const char* Command, const RunHeader& Header, size_t More) {
  JsonMembers members(4 + More);
  members.Add("command", Command)
      .Add("board", BoardJson(Header.BoardName, Header.BoardPath, Header.BoardDescription))
      .Add("module", ModuleJson(Header.Image))
      .Add("faults", FaultsJson(Header.Faults));
  return members;
}

// With --vcd: where the dump ends (past the run's end when the last transaction was still on the
// wire), or why it was not drawn.
json WaveformJson(const WaveformReport& Waveform) {
  const bool written = Waveform.Written;
  return {{"path", tools::Printable(Waveform.Path)},
          {"written", written},
          {"end_ns", written ? json(Waveform.EndNs) : json(nullptr)},
          {"run_end_ns", written ? json(Waveform.RunEndNs) : json(nullptr)},
          {"refused", written ? json(nullptr) : json(Waveform.Refused)}};
}

json SlotListJson(const OpReport& Report) {
  json slots = json::array();
  for (size_t slot = 0; slot < tools::SlotCount; ++slot) {
    slots.push_back({{"index", slot},
                     {"name", tools::PmicSlots[slot].Name},
                     {"signature", tools::CSignature(tools::PmicSlots[slot])},
                     {"filled", Report.Run.Filled[slot]}});
  }
  return slots;
}

json CallJson(const OpReport& Report, const OpView& View, const sim::Board& Board) {
  const tools::SlotRequest& request = *Report.Request;
  const tools::SlotSignature& signature = tools::PmicSlots[request.Slot].Signature();
  json call = {{"slot", tools::PmicSlots[request.Slot].Name},
               {"index", request.Slot},
               {"text", FormatCall(request)},
               {"arguments", request.Values},
               {"null_pointer", request.NullPointer},
               {"offered", Report.Run.Called}};
  if (!Report.Run.Called) {
    return call;
  }
  if (!Report.Run.Returned) {
    call.update(FailureJson(Report.Run.Failure, Board.GetTrace()));
    return call;
  }
  json stored = json::array();
  for (size_t i = 0; i < Report.Run.Stored.size(); ++i) {
    stored.push_back({{"name", signature.Pointers[i].Name},
                      {"width", signature.Pointers[i].Width},
                      {"value", Report.Run.Stored[i]}});
  }
  json returned = {{"value", *Report.Run.Returned},
                   {"text", FormatReturned(signature.Returns, *Report.Run.Returned)}};
  if (signature.Returns == tools::SlotReturn::Millivolts) {
    returned["unit"] = "mV";
  }
  call.update({{"returned", returned},
               {"stored", stored},
               {"time_ns", View.SlotNs},
               {"bus", BusJson(View.SlotBus, Report.Listing.Wire)}});
  return call;
}

// Null for the host build, whose stack the runner does not see.
json StackJson(const std::optional<uint32_t>& Used, uint32_t Size) {
  return Used ? json{{"used_bytes", *Used}, {"size_bytes", Size}} : json();
}

} // namespace

void PrintJson(std::ostream& Out, const json& Document) {
  // Board names and paths are the user's bytes: invalid UTF-8 is replaced, not refused.
  Out << Document.dump(Indent, ' ', false, json::error_handler_t::replace) << '\n';
}

json RunDocument(const RunReport& Report, const sim::Board& Board) {
  json status = Report.Status ? json{{"returned", true},
                                     {"name", tools::StatusName(*Report.Status)},
                                     {"value", *Report.Status}}
                              : json{{"returned", false}};
  if (!Report.Status) {
    status.update(FailureJson(Report.Failure, Board.GetTrace()));
  }
  const std::vector<sim::Access> trace = ViewInputs(Board.GetTrace().Accesses());
  const uint64_t end = Board.GetClock().NowNs();
  JsonMembers document = HeaderJson("run", Report.Header, 10);
  document.Add("status", std::move(status))
      .Add("time_ns", end)
      .Add("accesses", AccessesJson(Board))
      .Add("pads", PadCountsJson(Report.Pads, Report.PadDetail))
      .Add("pmic", SelectionJson(Report.Step.Selection))
      .Add("board_step", StepsJson(Report.Step.Steps))
      .Add("pmic_bus", BusJson(Report.Step.Bus, Report.Listing.Wire));
  if (Report.Waveform) {
    document.Add("waveform", WaveformJson(*Report.Waveform));
  }
  document
      .Add("timeline", TimelineJson(FindPhases(trace, Report.Step.Bus, end), FindActivity(trace)))
      .Add("stack", StackJson(Report.StackUsed, Report.StackBytes));
  return document.Done();
}

json OpDocument(const OpReport& Report, const sim::Board& Board, bool List) {
  const OpView view = ViewOp(Report, Board);
  json selection = {{"returned", view.Pmic.has_value()}};
  if (view.Pmic) {
    selection.update({{"pmic", SelectionJson(*view.Pmic)},
                      {"time_ns", Report.Run.SelectionEndNs},
                      {"bus", BusJson(view.SelectionBus, Report.Listing.Wire)}});
  } else {
    selection.update(FailureJson(Report.Run.Failure, Board.GetTrace()));
  }
  JsonMembers members = HeaderJson("op", Report.Header, 9);
  members.Add("acpi_opened", Report.AcpiOpened)
      .Add("stack", StackJson(Report.Run.StackUsed, Report.StackBytes))
      .Add("selection", std::move(selection));
  // Room for the members to come: the pads' detail is never copied on the way (JsonMembers).
  json document = members.Done();
  if (view.Pmic && List) {
    document["slots"] = SlotListJson(Report);
  } else if (view.Pmic && Report.Request) {
    document["call"] = CallJson(Report, view, Board);
  }
  const std::vector<sim::Access> trace = ViewInputs(Board.GetTrace().Accesses());
  const uint64_t end = Board.GetClock().NowNs();
  document["time_ns"] = end;
  document["accesses"] = AccessesJson(Board);
  if (Report.PadDetail) {
    document["pads"] = {{"detail", PadsJson(*Report.PadDetail)}};
  }
  if (Report.Waveform) {
    document["waveform"] = WaveformJson(*Report.Waveform);
  }
  const std::optional<uint64_t> callStart =
      Report.Run.Selected ? std::optional(Report.Run.SelectionEndNs) : std::nullopt;
  document["timeline"] = TimelineJson(
      FindPhases(trace, sim::decode::DecodeBus(trace), end, callStart), FindActivity(trace));
  return document;
}

json DecodeDocument(const DecodeReport& Report) {
  json document = {{"command", "decode"},
                   {"trace",
                    {{"path", tools::Printable(Report.Path)},
                     {"accesses", Report.Accesses},
                     {"memory_reads", Report.MemoryReads},
                     {"memory_writes", Report.MemoryWrites},
                     {"port_reads", Report.PortReads},
                     {"port_writes", Report.PortWrites},
                     {"last_ns", Report.LastNs}}}};
  document.get_ref<json::object_t&>().reserve(6); // as for op's

  if (Report.Step.GpioPassSeen) {
    document["pmic"] = SelectionJson(Report.Step.Selection);
    document["board_step"] = StepsJson(Report.Step.Steps);
  }
  document["pmic_bus"] = BusJson(Report.Step.Bus, Report.Listing.Wire);
  if (Report.PadDetail) {
    document["pads"] = {{"detail", PadsJson(*Report.PadDetail)}};
  }
  document["timeline"] = TimelineJson(Report.Phases, Report.Activity);
  return document;
}

} // namespace boardsim
