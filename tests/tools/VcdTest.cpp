#include "tools/boardsim/render/Vcd.h"

#include "common/Format.h"
#include "sim/BoardFile.h"
#include "sim/Soc.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/run/SlotCall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// What sigrok's I2C decoder should print for the bus view, one annotation a line: the module's
// reads are register index, repeated start, one byte not acknowledged; an abort ends at the
// refused byte, which on the built-in boards is always the address of a device that is absent.
std::vector<std::string> ExpectedAnnotations(const std::vector<sim::decode::I2cTransaction>& Bus) {
  std::vector<std::string> lines;
  const auto hex = [](unsigned Value) { return tools::Hex(Value, 2).substr(2); };
  for (const sim::decode::I2cTransaction& t : Bus) {
    // The decoder names the R/W bit before the address it completes.
    lines.insert(lines.end(), {"Start", "Write", "Address write: " + hex(t.Device)});
    if (t.Aborted) {
      lines.insert(lines.end(), {"NACK", "Stop"});
      continue;
    }
    lines.insert(lines.end(), {"ACK", "Data write: " + hex(t.Register), "ACK"});
    if (t.Read) {
      lines.insert(lines.end(), {"Start repeat", "Read", "Address read: " + hex(t.Device), "ACK",
                                 "Data read: " + hex(t.Value), "NACK"});
    } else {
      lines.insert(lines.end(), {"Data write: " + hex(t.Value), "ACK"});
    }
    lines.push_back("Stop");
  }
  return lines;
}

std::vector<std::string> SigrokAnnotations(const std::string& VcdPath) {
  // Samples every 50 ns: a 400 kHz bit is 2500 ns, its edges at least 156 ns apart.
  const std::string command = "sigrok-cli -I vcd:downsample=50 -i '" + VcdPath +
                              "' -P i2c:scl=scl:sda=sda -A i2c=addr-data 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::vector<std::string> lines;
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return lines;
  }
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string line(buffer);
    line.erase(line.find_last_not_of('\n') + 1);
    // "i2c-1: Address write: 34"
    const size_t colon = line.find(": ");
    lines.push_back(line.starts_with("i2c-1: ") ? line.substr(colon + 2) : line);
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return lines;
}

// Every built-in board, on the host build (the image's trace is the same): sigrok's own I2C
// decoder reads from the waveform exactly the transactions the bus decoder reads from the trace,
// and the file is a VCD whose times only move forward.
TEST(Vcd, SigrokDecodesTheTransactionsOfTheTrace) {
  std::vector<std::filesystem::path> boards;
  for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
    boards.push_back(entry.path());
  }
  std::sort(boards.begin(), boards.end());
  const std::string vcdPath = testing::TempDir() + "vcd-test.vcd";
  for (const std::filesystem::path& board : boards) {
    SCOPED_TRACE(board.filename().string());
    const sim::BoardConfig config = sim::LoadBoardFile(board.string());
    sim::Soc soc(config);
    boardsim::RunOptions options;
    options.Host = true;
    ASSERT_TRUE(boardsim::RunModule(options, soc, BOARDINIT_IMAGE).Result.Status);
    const std::vector<sim::Access>& trace = soc.Bus.GetTrace().Accesses();
    {
      std::ofstream out(vcdPath);
      boardsim::WriteVcd(out, trace, config);
    }
    EXPECT_EQ(SigrokAnnotations(vcdPath), ExpectedAnnotations(sim::decode::DecodeBus(trace).I2c));

    std::ifstream in(vcdPath);
    std::string line;
    long long last = -1;
    while (std::getline(in, line)) {
      if (line.starts_with('#')) {
        const long long time = std::stoll(line.substr(1));
        EXPECT_GT(time, last) << line;
        last = time;
      }
    }
  }
  std::filesystem::remove(vcdPath);
}

// Slot calls whose last write is still on the wire when the call returns, or when the module
// queues its next transaction (the controller sends it as the bus frees): drawn whole, the next
// one after it, and the dump runs on to the last stop.
TEST(Vcd, AWriteHandedOverIsDrawnWholeAndTheNextOneQueuesBehindIt) {
  const struct {
    const char* Board;
    tools::SlotRequest Call;
    uint64_t EndNs;
    uint64_t RunEndNs;
  } cases[] = {
      {"default", {1, {0x30, 0x85}}, 211'400, 153'400}, // WriteRegister(0x30, 0x85)
      {"variant6", {19, {}}, 817'400, 817'400},         // ReadVoltage
  };
  const std::string vcdPath = testing::TempDir() + "vcd-slot.vcd";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Board);
    sim::BoardConfig config =
        sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + c.Board + ".json");
    tools::OpenAcpiWindowAsEntryLeavesIt(config);
    sim::Soc soc(config);
    ASSERT_TRUE(tools::CallSlotOnHost(soc.Bus, {.Hobs = config.Hobs}, c.Call).Returned);
    const std::vector<sim::Access>& trace = soc.Bus.GetTrace().Accesses();
    boardsim::VcdExtent extent{};
    {
      std::ofstream out(vcdPath);
      extent = boardsim::WriteVcd(out, trace, config);
    }
    EXPECT_EQ(extent.EndNs, c.EndNs);
    EXPECT_EQ(extent.RunEndNs, c.RunEndNs);
    EXPECT_EQ(SigrokAnnotations(vcdPath), ExpectedAnnotations(sim::decode::DecodeBus(trace).I2c));
  }
  std::filesystem::remove(vcdPath);
}

// The signals beside the bus, on the reference board: the semaphore grant while the module holds
// the bus, and the two pads its board step drives, each with its one change.
TEST(Vcd, ShowsTheGrantAndTheDrivenPads) {
  const sim::BoardConfig config =
      sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/default.json");
  sim::Soc soc(config);
  boardsim::RunOptions options;
  options.Host = true;
  ASSERT_TRUE(boardsim::RunModule(options, soc, BOARDINIT_IMAGE).Result.Status);
  std::ostringstream vcd;
  boardsim::WriteVcd(vcd, soc.Bus.GetTrace().Accesses(), config);

  // Reads the dump back: each change as "<time> <signal> <level>", except those of SCL and SDA.
  std::map<std::string, std::string> names;
  std::vector<std::string> changes;
  std::istringstream in(vcd.str());
  std::string line;
  std::string time;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first, type, width, id, name;
    words >> first;
    if (first == "$var" && words >> type >> width >> id >> name) {
      names[id] = name;
    } else if (first.starts_with('#')) {
      time = first.substr(1);
    } else if (!first.empty() && first[0] != '$' && names.count(first.substr(1)) != 0) {
      const std::string& signal = names[first.substr(1)];
      if (signal != "scl" && signal != "sda") {
        changes.push_back(time + " " + signal + " " + first[0]);
      }
    }
  }
  // One hold per transaction (0.154, 0.269 and 0.387 ms); the pads as the run summary tells them.
  EXPECT_EQ(changes,
            (std::vector<std::string>{"0 pmic_bus_grant 0", "0 pad_0x1000_1 x", "0 pad_0x2000_33 x",
                                      "149900 pmic_bus_grant 1", "245200 pmic_bus_grant 0",
                                      "269000 pmic_bus_grant 1", "361200 pmic_bus_grant 0",
                                      "386600 pmic_bus_grant 1", "397000 pmic_bus_grant 0",
                                      "397300 pad_0x1000_1 1", "100398600 pad_0x2000_33 0"}));
}

} // namespace
