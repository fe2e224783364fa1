#include "sim/BoardFile.h"
#include "sim/BoardFileWriter.h"

#include "support/BoardFileErrors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

namespace {

TEST(BoardFile, ReadsEveryKey) {
  const sim::BoardConfig config = sim::ParseBoardText(R"({
    "name": "bench", "description": "all keys",
    "acpi_base": "0x0402", "pmc_base": "0xFED03000",
    "pm_timer": {"bits": 32, "start": "0xFFFFFF00"},
    "access_costs_ns": {"mmio_read": 10, "mmio_write": 20, "port_read": 30, "port_write": 40},
    "time_budget_ms": 7000, "access_budget": 5000, "stack_bytes": 4096,
    "pads": [{"community": "0x2000", "pad": 22, "level": 1}],
    "faults": {"pad_reads_all_ones": [{"address": "0xFED0C5D8", "reads": 6}],
               "punit_reads_all_ones": [{"register": 7, "read": 4}]}
  })",
                                                      "bench.json");
  EXPECT_EQ(config.Name, "bench");
  EXPECT_EQ(config.AcpiBase, 0x0402);
  EXPECT_TRUE(config.PmTimer32Bit);
  EXPECT_EQ(config.PmTimerStart, 0xFFFFFF00u);
  EXPECT_EQ(config.Costs.PortWrite, 40u);
  EXPECT_EQ(config.TimeBudgetMs, 7000u);
  EXPECT_EQ(config.AccessBudget, 5000u);
  EXPECT_EQ(config.StackBytes, 4096u);
  ASSERT_EQ(config.PadLevels.size(), 1u);
  EXPECT_EQ(config.PadLevels[0].Community, 2u);
  EXPECT_EQ(config.PadLevels[0].Pad, 22u);
  EXPECT_TRUE(config.PadLevels[0].High);
  ASSERT_EQ(config.PadFaults.size(), 1u);
  EXPECT_EQ(config.PadFaults[0].Address, 0xFED0C5D8u);
  EXPECT_EQ(config.PadFaults[0].Reads, 6u);
  EXPECT_EQ(config.Punit.ReadsAllOnes, (std::vector<sim::PunitReadFault>{{7, 4}}));
}

// The summaries name a board's faults as its file gives them, each with the fault point its
// strike is noted as: a flag that is off, a count of 0 and a correct HOB are none.
TEST(BoardFile, KeepsEachFaultAsGiven) {
  const sim::BoardConfig config = sim::ParseBoardText(R"({
    "i2c_devices": [{"address": "0x34"},
                    {"model": "pmic-variant6", "conversion": {"never_finishes": true}}],
    "hobs": [{"kind": "other", "hob_type": 2, "hob_length": 0}, {"kind": "no-end-marker"}],
    "faults": {"semaphore_never_granted": true, "i2c_bus_stalled": false,
               "i2c_abort_on_byte": "0x3", "i2c_bus_stalled_from_byte": 0,
               "i2c_never_acknowledges": ["0x34"],
               "pad_reads_all_ones": [{"address": "0xFED0C5D8", "reads": 6}]}
  })",
                                                      "faulty.json");
  using K = sim::FaultKind;
  const std::vector<sim::GivenFault> expected = {
      {"i2c_devices[1].conversion.never_finishes", "true", {{K::ConversionNeverEnds, 0x5E}}},
      {"hobs[0].hob_length", "0", {{K::HobZeroLength, 0}}},
      {"hobs[1]", R"({"kind":"no-end-marker"})", {{K::HobNoEndMarker}}},
      {"faults.semaphore_never_granted", "true", {{K::SemaphoreNeverGranted}}},
      {"faults.i2c_abort_on_byte", R"("0x3")", {{K::ByteRefused, 0, 3}}},
      {"faults.i2c_never_acknowledges", R"("0x34")", {{K::DeviceStopsAcknowledging, 0x34, 1}}},
      {"faults.pad_reads_all_ones",
       R"({"address":"0xFED0C5D8","reads":6})",
       {{K::PadReadsAllOnes, 0xFED0C5D8, 6}}}};
  EXPECT_EQ(config.GivenFaults, expected);
}

TEST(BoardFile, BadInputNamesTheFileAndPosition) {
  const std::vector<testsupport::BoardFileErrorCase> cases = {
      {"{\n  \"name\": \"x\"\n  \"pads\": []\n}", "board.json:3:3: "},
      {"{\"colour\": 1}", "board.json:1:2: unknown key \"colour\""},
      {"{\"pm_timer\": {\"bits\": 16}}", "board.json:1:23: bits must be 24 or 32"},
      {"{\"acpi_base\": \"0x10000\"}", "board.json:1:15: acpi_base is out of range"},
      {"{\"pads\": [{\"community\": \"0x0800\", \"pad\": 1, \"level\": 0}]}",
       "board.json:1:25: community must be one of"},
      {"{\"pads\": [{\"pad\": 1, \"level\": 0}]}", "board.json:1:11: a pad needs"},
      {"{\"faults\": {\"pad_reads_all_ones\": [{\"address\": \"0xFED0B000\", \"reads\": 1}]}}",
       "board.json:1:48: address must be a 32-bit register of the pad block"},
      {"{\"faults\": {\"punit_reads_all_ones\": [{\"register\": 7, \"read\": 0}]}}",
       "board.json:1:62: read counts from 1"},
      {"{\"faults\": {\"punit_reads_all_ones\": [{\"read\": 1}]}}",
       "board.json:1:38: a P-Unit read fault needs \"register\" and \"read\""},
      {"{\"access_costs_ns\": {\"port_read\": 0}}",
       "board.json:1:35: port_read must be at least 1"},
      {"[1]", "board.json:1:1: a board description must be object"},
      {"{\"access_budget\": 0}", "board.json:1:19: access_budget must be at least 1"},
      {"{\"time_budget_ms\": 0}", "board.json:1:20: time_budget_ms must be at least 1"},
      {"{\"stack_bytes\": 100}",
       "board.json:1:17: stack_bytes must be a multiple of 16 from 64 to 65280"},
      {"{\"stack_bytes\": 65296}", "board.json:1:17: stack_bytes is out of range"},
      // Found text is named, escaped and cut short, never copied out at length.
      {"{\"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk\": 1}",
       "board.json:1:2: unknown key \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk\"... (expected"},
      {"{\"a\\u007F\\n\": 1}", "board.json:1:2: unknown key \"a\\u007F\\u000A\" (expected"},
      // Device windows where the image runner routes them to the board, apart from each other.
      {"{\"pmc_base\": \"0x7F000000\"}",
       "board.json:1:14: puts the PMC window 0x7F000000-0x7F0001FF below 0x80000000"},
      {"{\"pmc_base\": \"0xE0001000\"}",
       "board.json:1:14: puts the PMC window 0xE0001000-0xE00011FF over the PCI configuration "
       "window"},
      {"{\"pmc_base\": \"0xFED0D000\"}",
       "board.json:1:14: puts the PMC window 0xFED0D000-0xFED0D1FF over the GPIO pad block"},
      {"{\"pmc_base\": \"0xFE950E00\"}",
       "board.json:1:14: puts the PMC window 0xFE950E00-0xFE950FFF over the I2C controller's "
       "window at its fixed BAR0 0xFE950000-0xFE950FFF"},
  };
  testsupport::ExpectBoardFileErrors(cases, "board.json");
}

// Text that is not JSON, or JSON a board file may not hold, named at the token that breaks it.
TEST(BoardFile, SyntaxErrorsNameTheToken) {
  const std::string deepest = std::string(64, '[') + std::string(64, ']');
  const std::string tooDeep = std::string(65, '[') + std::string(65, ']');
  const std::vector<testsupport::BoardFileErrorCase> cases = {
      {"", "board.json:1:1: unexpected end of input; expected '[', '{', or a literal"},
      {"{\n  \"name\": \"x\",\n  \"pads\" [1]\n}", "board.json:3:10: unexpected '['; expected ':'"},
      {"{\"pads\": [1,\r\n\t2 3]}", "board.json:2:4: unexpected number literal; expected ']'"},
      {"{\"\xC3\xA9\": 1 2}", "board.json:1:9: unexpected number literal; expected '}'"},
      {"{\"pads\": [1, 2 ,\n]}", "board.json:2:1: unexpected ']'; expected '[', '{', or a literal"},
      {"{\"name\": \"x\",}", "board.json:1:14: unexpected '}'; expected string literal"},
      {"{\"a\": 1,,}", "board.json:1:9: unexpected ','; expected string literal"},
      {"{\"name\": \"x\"", "board.json:1:13: unexpected end of input; expected '}'"},
      {"{} {}", "board.json:1:4: unexpected '{'; expected end of input"},
      {"\xEF\xBB\xBF{}", "board.json:1:1: byte order mark is not allowed"},
      {"// note\n{}", "board.json:1:1: invalid literal; last read: \"/\""},
      {"{\"pads\": [tru]}", "board.json:1:14: invalid literal; last read: \"tru]\""},
      {"{\"access_budget\": 01}", "board.json:1:21: unexpected number literal; expected '}'"},
      {"{\"access_budget\": -}",
       "board.json:1:20: invalid number; expected digit after '-'; last read: \"-}\""},
      {"{\"access_budget\": 1e999}", "board.json:1:19: number overflow parsing '1e999'"},
      {"{\"name\": \"a\nb\"}",
       "board.json:1:12: invalid string: control character U+000A (LF) must be escaped to \\u000A "
       "or \\n; last read: \"\\\"a\\u000A\""},
      {"{\"name\": \"\\q\"}",
       "board.json:1:12: invalid string: forbidden character after backslash; last read: "
       "\"\\\"\\\\q\""},
      {"{\"name\": \"\\uDE00\"}",
       "board.json:1:16: invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF; "
       "last read: \"\\\"\\\\uDE00\""},
      {"{\"name\": \"\xC3\"}",
       "board.json:1:12: invalid string: ill-formed UTF-8 byte; last read: \"\\\"\\xC3\\\"\""},
      {"{\"name\": \"abc", "board.json:1:14: invalid string: missing closing quote; last read: "
                           "\"\\\"abc\""},
      // Keys are unique per object and checked in document order.
      {"{\"pads\": 1, \"pads\": 2}", "board.json:1:13: duplicate key \"pads\""},
      {"{\"punit\": {\"register6\": 1,\n \"register6\": 2}}",
       "board.json:2:2: duplicate key \"register6\""},
      {"{\"zz\": 1, \"aa\": 2}", "board.json:1:2: unknown key \"zz\" (expected one of: "},
      // 64 levels are parsed (and then refused as a description), 65 are not.
      {deepest.c_str(), "board.json:1:1: a board description must be object, not array"},
      {tooDeep.c_str(), "board.json:1:65: nesting deeper than 64 levels"},
  };
  testsupport::ExpectBoardFileErrors(cases, "board.json");
}

// Numbers are non-negative integers, in decimal or as "0x..." strings, up to 64 bits.
TEST(BoardFile, NumbersAreDecimalOrHexIntegers) {
  constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
  const std::pair<const char*, uint64_t> accepted[] = {
      {"18446744073709551615", max},
      {"\"0xFFFFFFFFFFFFFFFF\"", max},
      {"\"0X1f\"", 0x1F},
      {"\"0x00000000000000000001\"", 1},
      // Whole numbers as JSON Schema's "integer" takes them.
      {"1.0", 1},
      {"1e3", 1000},
  };
  for (const auto& [text, value] : accepted) {
    SCOPED_TRACE(text);
    EXPECT_EQ(sim::ParseBoardText(std::string("{\"access_budget\": ") + text + "}", "b.json")
                  .AccessBudget,
              value);
  }
  std::vector<std::string> texts;
  for (const char* refused :
       {"18446744073709551616", "-1", "-0", "1.5", "1e-3", "-2.0", "true",
        "\"0x10000000000000000\"", "\"0x\"", "\"0xFFFF_FFFF\"", "\" 0x1\"", "\"-0x1\"", "\"12\""}) {
    texts.push_back(std::string("{\"access_budget\": ") + refused + "}");
  }
  std::vector<testsupport::BoardFileErrorCase> cases;
  for (const std::string& text : texts) {
    cases.push_back({text.c_str(), "b.json:1:19: access_budget must be a non-negative integer "
                                   "(decimal, or a \"0x...\" string)"});
  }
  testsupport::ExpectBoardFileErrors(cases, "b.json");
}

TEST(BoardFile, MissingFileIsNamed) {
  EXPECT_THROW(
      {
        try {
          sim::LoadBoardFile("/nonexistent/board.json");
        } catch (const sim::BoardFileError& error) {
          EXPECT_STREQ(error.what(), "/nonexistent/board.json: cannot open board file");
          throw;
        }
      },
      sim::BoardFileError);
}

TEST(BoardFile, PathsThatAreNotBoardFilesAreRefused) {
  const std::filesystem::path large =
      std::filesystem::path(testing::TempDir()) / "board-file-test-large.json";
  {
    std::ofstream out(large);
    out << '{' << std::string(sim::MaxBoardFileBytes, ' ') << '}';
  }
  const std::pair<std::string, std::string> cases[] = {
      {BOARDINIT_BOARDS_DIR, ": is a directory, not a board file"},
      {"/dev/zero", ": is not a regular file, not a board file"},
      {large.string(), ": board file is larger than 1048576 bytes"},
  };
  for (const auto& [path, message] : cases) {
    SCOPED_TRACE(path);
    try {
      sim::LoadBoardFile(path);
      ADD_FAILURE() << "accepted";
    } catch (const sim::BoardFileError& error) {
      EXPECT_EQ(std::string(error.what()), path + message);
    }
  }
  std::filesystem::remove(large);
}

// Written out with every key, a board reads back as itself: the writer leaves nothing out that
// the reader takes in (every built-in board, and one with each kind of HOB and fault).
TEST(BoardFile, AWrittenBoardReadsBackAsItself) {
  std::vector<sim::BoardConfig> boards = {sim::ParseBoardText(R"({
    "pads": [{"community": "0x1000", "pad": 3, "level": 1}],
    "pmc_function_disable": "0x20000000",
    "i2c_controller": {"bar0": "0xFE950000", "command": 2, "bus_hz": 100000},
    "i2c_devices": [{"address": "0x1A3", "ten_bit": true},
                    {"model": "pmic-variant1", "registers": {"0x00": "0x1F"}, "refuse_writes": 2,
                     "conversion": {"reading": 512, "busy_reads": 2, "never_finishes": true}},
                    {"address": "0x5E"}],
    "punit": {"arbitrated": false, "register6": "0x10"},
    "hobs": [{"kind": "other", "hob_type": 2, "data_length": 16},
             {"kind": "guid", "guid": "5E1F0A2B-3C4D-4E5F-8A9B-0C1D2E3F4A5B", "data_length": 8},
             {"kind": "pmic-descriptor", "variant": 6, "i2c_address": "0x5E"},
             {"kind": "end-of-list"}, {"kind": "other", "hob_type": 3, "hob_length": 0},
             {"kind": "no-end-marker"}],
    "faults": {"i2c_never_acknowledges": ["0x5E"], "pm_timer_frozen_from_read": 9,
               "i2c_stops_acknowledging": [{"address": "0x6E", "from_transfer": 4}],
               "punit_reads_all_ones": [{"register": 7, "read": 2}], "i2c_abort_on_byte": 3,
               "pad_reads_all_ones": [{"address": "0xFED0C5D8", "reads": 2}]}
  })",
                                                              "every-kind.json")};
  for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
    boards.push_back(sim::LoadBoardFile(entry.path().string()));
  }
  for (const sim::BoardConfig& board : boards) {
    SCOPED_TRACE(board.Name);
    const sim::BoardJson written = sim::BoardFileJson(board);
    EXPECT_EQ(sim::BoardFileJson(sim::ParseBoardText(written.dump(), "written.json")), written);
  }
}

TEST(BoardFile, EveryBuiltInBoardLoads) {
  size_t boards = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BOARDINIT_BOARDS_DIR)) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_NO_THROW(sim::LoadBoardFile(entry.path().string()));
    ++boards;
  }
  EXPECT_GE(boards, 1u);
}

} // namespace
