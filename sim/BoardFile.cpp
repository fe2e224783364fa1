#include "sim/BoardFile.h"

#include "common/Format.h"
#include "sim/BoardFileReader.h"
#include "sim/devices/GpioPads.h"

#include <filesystem>
#include <fstream>
#include <limits>

namespace sim {

namespace {

uint32_t CommunityIndex(const BoardFileReader& R, const BoardJson& V) {
  const uint64_t offset = R.Integer(V, "community", 0x2000);
  if (offset % 0x1000 != 0) {
    R.Fail(V, "community must be one of 0x0000, 0x1000, 0x2000");
  }
  return static_cast<uint32_t>(offset / 0x1000);
}

void ReadPads(const BoardFileReader& R, const BoardJson& Pads, BoardConfig& Config) {
  for (const BoardJson& pad : R.Array(Pads, "pads")) {
    R.Object(pad, "a pad");
    R.Keys(pad, {"community", "pad", "level"});
    const BoardJson* community = FindMember(pad, "community");
    const BoardJson* index = FindMember(pad, "pad");
    const BoardJson* level = FindMember(pad, "level");
    if (community == nullptr || index == nullptr || level == nullptr) {
      R.Fail(pad, "a pad needs \"community\", \"pad\" and \"level\"");
    }
    Config.PadLevels.push_back({CommunityIndex(R, *community),
                                static_cast<uint32_t>(R.Integer(*index, "pad", 255)),
                                R.Integer(*level, "level", 1) == 1});
  }
}

// The fault point that stands for one fault of the file's "faults" (an entry of a list, or a
// value), read as the fault itself was; its strike is noted under that point.
FaultPoint PointOf(const BoardFileReader& R, const std::string& Key, const BoardJson& Value) {
  const auto number = [&](const char* Member) {
    const BoardJson* v = Member != nullptr ? FindMember(Value, Member) : &Value;
    return static_cast<uint32_t>(R.Integer(*v, Key, 0xFFFFFFFF));
  };
  if (Key == "pad_reads_all_ones") {
    return {FaultKind::PadReadsAllOnes, number("address"), number("reads")};
  }
  if (Key == "punit_reads_all_ones") {
    return {FaultKind::PunitReadsAllOnes, number("register"), number("read")};
  }
  if (Key == "i2c_never_acknowledges") {
    return {FaultKind::DeviceStopsAcknowledging, number(nullptr), 1};
  }
  if (Key == "i2c_stops_acknowledging") {
    return {FaultKind::DeviceStopsAcknowledging, number("address"), number("from_transfer")};
  }
  if (Key == "pm_timer_frozen_from_read") {
    return {FaultKind::TimerFrozen, 0, number(nullptr)};
  }
  if (Key == "i2c_abort_on_byte") {
    return {FaultKind::ByteRefused, 0, number(nullptr)};
  }
  if (Key == "i2c_bus_stalled_from_byte") {
    return {FaultKind::BusStalled, 0, number(nullptr)};
  }
  if (Key == "i2c_bus_stalled") { // no byte ever moves: the stall before the first
    return {FaultKind::BusStalled, 0, 1};
  }
  if (Key == "i2c_controller_stays_active") {
    return {FaultKind::ControllerStaysActive};
  }
  if (Key == "i2c_controller_never_enables") {
    return {FaultKind::ControllerNeverEnables};
  }
  return {FaultKind::SemaphoreNeverGranted};
}

void ReadFaults(const BoardFileReader& R, const BoardJson& Faults, BoardConfig& Config) {
  R.Object(Faults, "faults");
  R.Keys(Faults, {"pad_reads_all_ones", "i2c_never_acknowledges", "i2c_controller_stays_active",
                  "i2c_controller_never_enables", "i2c_bus_stalled", "i2c_abort_on_byte",
                  "semaphore_never_granted", "i2c_bus_stalled_from_byte", "i2c_stops_acknowledging",
                  "pm_timer_frozen_from_read", "punit_reads_all_ones"});
  if (const BoardJson* frozen = FindMember(Faults, "pm_timer_frozen_from_read")) {
    Config.PmTimerFrozenFromRead =
        static_cast<uint32_t>(R.Integer(*frozen, "pm_timer_frozen_from_read", 0xFFFFFFFF));
  }
  ReadPmicBusFaults(R, Faults, Config);
  for (const auto& [reg, read] :
       R.KeyPairs(Faults, "punit_reads_all_ones", "a P-Unit read fault", "register", "read")) {
    const uint64_t nth = R.Integer(*read, "read", 0xFFFFFFFF);
    if (nth == 0) {
      R.Fail(*read, "read counts from 1");
    }
    Config.Punit.ReadsAllOnes.push_back(
        {static_cast<uint32_t>(R.Integer(*reg, "register", 0xFF)), static_cast<uint32_t>(nth)});
  }
  for (const auto& [address, reads] :
       R.KeyPairs(Faults, "pad_reads_all_ones", "a pad fault", "address", "reads")) {
    const uint64_t at = R.Integer(*address, "address", 0xFFFFFFFF);
    if (at < GpioBlockBase || at - GpioBlockBase >= GpioBlockSize || at % 4 != 0) {
      R.Fail(*address, "address must be a 32-bit register of the pad block (" +
                           tools::Hex(GpioBlockBase, 8) + "-" +
                           tools::Hex(GpioBlockBase + GpioBlockSize - 4, 8) + ")");
    }
    Config.PadFaults.push_back(
        {static_cast<uint32_t>(at), static_cast<uint32_t>(R.Integer(*reads, "reads", 0xFFFFFFFF))});
  }
  // Every key is read by now; a flag that is false or a count of 0 is no fault.
  for (const auto& [key, value] : Faults.items()) {
    const std::string at = "faults." + key;
    if (value.is_array()) {
      for (const BoardJson& entry : value) {
        Config.GivenFaults.push_back({at, entry.dump(), PointOf(R, key, entry)});
      }
    } else if (value.is_boolean() ? value.get<bool>() : R.Integer(value, key, UINT64_MAX) != 0) {
      Config.GivenFaults.push_back({at, value.dump(), PointOf(R, key, value)});
    }
  }
}

void ReadTimer(const BoardFileReader& R, const BoardJson& Timer, BoardConfig& Config) {
  R.Object(Timer, "pm_timer");
  R.Keys(Timer, {"bits", "start"});
  if (const BoardJson* bits = FindMember(Timer, "bits")) {
    const uint64_t width = R.Integer(*bits, "bits", 32);
    if (width != 24 && width != 32) {
      R.Fail(*bits, "bits must be 24 or 32");
    }
    Config.PmTimer32Bit = width == 32;
  }
  if (const BoardJson* start = FindMember(Timer, "start")) {
    Config.PmTimerStart = static_cast<uint32_t>(R.Integer(*start, "start", 0xFFFFFFFF));
  }
}

void ReadCosts(const BoardFileReader& R, const BoardJson& Costs, BoardConfig& Config) {
  R.Object(Costs, "access_costs_ns");
  R.Keys(Costs, {"mmio_read", "mmio_write", "port_read", "port_write"});
  const std::pair<const char*, uint32_t*> fields[] = {
      {"mmio_read", &Config.Costs.MmioRead},
      {"mmio_write", &Config.Costs.MmioWrite},
      {"port_read", &Config.Costs.PortRead},
      {"port_write", &Config.Costs.PortWrite},
  };
  for (const auto& [key, field] : fields) {
    if (const BoardJson* cost = FindMember(Costs, key)) {
      *field = static_cast<uint32_t>(R.Integer(*cost, key, 1'000'000));
      if (*field == 0) {
        // Time must move with every access or a wait on the timer never ends.
        R.Fail(*cost, std::string(key) + " must be at least 1");
      }
    }
  }
}

} // namespace

BoardConfig ParseBoardText(std::string_view Text, std::string_view Source) {
  const BoardDocument document(Text, Source);
  const BoardJson& root = document.Root();
  const BoardFileReader reader(document);
  reader.Object(root, "a board description");
  reader.Keys(root,
              {"name", "description", "acpi_base", "pmc_base", "pm_timer", "access_costs_ns",
               "time_budget_ms", "access_budget", "stack_bytes", "pads", "pmc_function_disable",
               "i2c_controller", "i2c_devices", "punit", "hobs", "faults"});

  BoardConfig config;
  if (const BoardJson* name = FindMember(root, "name")) {
    config.Name = reader.String(*name, "name");
  }
  if (const BoardJson* description = FindMember(root, "description")) {
    config.Description = reader.String(*description, "description");
  }
  if (const BoardJson* acpi = FindMember(root, "acpi_base")) {
    config.AcpiBase = static_cast<uint16_t>(reader.Integer(*acpi, "acpi_base", 0xFFFF));
  }
  if (const BoardJson* pmc = FindMember(root, "pmc_base")) {
    config.PmcBase = static_cast<uint32_t>(reader.Integer(*pmc, "pmc_base", 0xFFFFFFFF));
  }
  if (const BoardJson* timer = FindMember(root, "pm_timer")) {
    ReadTimer(reader, *timer, config);
  }
  if (const BoardJson* costs = FindMember(root, "access_costs_ns")) {
    ReadCosts(reader, *costs, config);
  }
  if (const BoardJson* budget = FindMember(root, "time_budget_ms")) {
    config.TimeBudgetMs = reader.Integer(*budget, "time_budget_ms", UINT64_MAX / 1'000'000);
    if (config.TimeBudgetMs == 0) {
      reader.Fail(*budget, "time_budget_ms must be at least 1 (there is no unlimited budget)");
    }
  }
  if (const BoardJson* budget = FindMember(root, "access_budget")) {
    config.AccessBudget =
        reader.Integer(*budget, "access_budget", std::numeric_limits<uint64_t>::max());
    if (config.AccessBudget == 0) {
      // Without a budget a stuck run would grow its trace until memory runs out.
      reader.Fail(*budget, "access_budget must be at least 1 (there is no unlimited budget)");
    }
  }
  if (const BoardJson* stack = FindMember(root, "stack_bytes")) {
    config.StackBytes = static_cast<uint32_t>(reader.Integer(*stack, "stack_bytes", MaxStackBytes));
    if (config.StackBytes < MinStackBytes || config.StackBytes % 16 != 0) {
      reader.Fail(*stack, "stack_bytes must be a multiple of 16 from " +
                              std::to_string(MinStackBytes) + " to " +
                              std::to_string(MaxStackBytes));
    }
  }
  if (const BoardJson* pads = FindMember(root, "pads")) {
    ReadPads(reader, *pads, config);
  }
  if (const BoardJson* disable = FindMember(root, "pmc_function_disable")) {
    ReadPmcFunctionDisable(reader, *disable, config);
  }
  if (const BoardJson* controller = FindMember(root, "i2c_controller")) {
    ReadI2cController(reader, *controller, config);
  }
  if (const BoardJson* devices = FindMember(root, "i2c_devices")) {
    ReadI2cDevices(reader, *devices, config);
  }
  if (const BoardJson* punit = FindMember(root, "punit")) {
    ReadPunit(reader, *punit, config);
  }
  if (const BoardJson* hobs = FindMember(root, "hobs")) {
    ReadHobs(reader, *hobs, config);
  }
  // Faults last: some of them name devices fitted above.
  if (const BoardJson* faults = FindMember(root, "faults")) {
    ReadFaults(reader, *faults, config);
  }
  CheckWindows(reader, root, config);
  return config;
}

BoardConfig LoadBoardFile(const std::string& Path) {
  std::error_code error;
  const auto status = std::filesystem::status(Path, error);
  if (std::filesystem::is_directory(status)) {
    throw BoardFileError(Path + ": is a directory, not a board file");
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    // A device or a pipe may never end, or change between two reads.
    throw BoardFileError(Path + ": is not a regular file, not a board file");
  }
  std::ifstream file(Path, std::ios::binary);
  if (!file) {
    throw BoardFileError(Path + ": cannot open board file");
  }
  std::string text(MaxBoardFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    throw BoardFileError(Path + ": cannot read board file");
  }
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > MaxBoardFileBytes) {
    throw BoardFileError(Path + ": board file is larger than " + std::to_string(MaxBoardFileBytes) +
                         " bytes");
  }
  return ParseBoardText(text, Path);
}

} // namespace sim
