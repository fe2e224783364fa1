// boardsim --expect on the default board: one expectation file per row, met or unmet in each way
// it can be, or refused as bad input; the lines the tool ends with are the verdicts.
#include "support/ToolRun.h"

#include <gtest/gtest.h>

namespace {

struct Row {
  const char* Name;
  std::vector<std::string> Command; // what follows "boardsim", before --expect
  const char* File;                 // the expectation file's text
  int Status;
  std::vector<std::string> Lines; // the last lines of standard output, or standard error's line
};

const std::vector<std::string> HostRun = {"run", "--host"};

const Row Rows[] = {
    {"met",
     HostRun,
     R"({"status": "EFI_SUCCESS", "pads": {"0x1000:1": {"level": "high", "gpio": true},
         "0x2000:33": {"level": "low"}},
         "pmic_transactions": [{"op": "read", "device": "0x34", "register": "0x03", "value": "0x41"},
                               {"op": "write", "device": "0x34", "register": "0x30"}],
         "pmic_registers": {"0x34:0x30": "0x85"}, "time_ns": {"min": 100000000, "max": 101000000}})",
     0,
     {"expectations met: 8 of 8 (FILE)"}},
    {"status unmet",
     HostRun,
     R"({"status": "EFI_DEVICE_ERROR"})",
     1,
     {"status: expected EFI_DEVICE_ERROR, got EFI_SUCCESS"}},
    {"status by value",
     HostRun,
     R"({"status": "0x7"})",
     1,
     {"status: expected 0x7, got EFI_SUCCESS (0x0)"}},
    {"pad field unmet",
     HostRun,
     R"({"pads": {"0x0000:93": {"mode": 1, "level": "low"}}})",
     1,
     {"pad 0x0000:93 mode: expected 1, got 0"}},
    {"pad mode by its other name, function",
     HostRun,
     R"({"pads": {"0x0000:93": {"function": 1}}})",
     1,
     {"pad 0x0000:93 function: expected 1, got 0"}},
    {"pad register unmet",
     HostRun,
     R"({"pads": {"0x2000:33": {"value": 1}}})",
     1,
     {"pad 0x2000:33 value: expected 0x00000001, got 0x00000000"}},
    {"transaction unmet",
     HostRun,
     R"({"pmic_transactions": [{"op": "write", "device": 52, "register": 48, "value": 132}]})",
     1,
     {"pmic write 0x34 reg 0x30 <- 0x84: expected on the bus, not aborted, got 0x85"}},
    {"register unmet",
     HostRun,
     R"({"pmic_registers": {"0x34:0x31": 1}})",
     1,
     {"pmic 0x34 reg 0x31: expected written 0x01, got never written"}},
    {"fault not given",
     HostRun,
     R"({"faults": {"controller-never-enables": true}})",
     1,
     {"fault controller-never-enables: expected struck, got not given (neither --fault nor the "
      "board file)"}},
    {"host: a --fault that struck",
     {"run", "--host", "--fault", "byte-refused@6"},
     R"({"faults": {"byte-refused@6": true}, "status": "EFI_SUCCESS"})",
     0,
     {"expectations met: 2 of 2 (FILE)"}},
    {"board file's faults by their key",
     {"run", "--host", "--board", "flaky-pads"},
     R"({"faults": {"faults.pad_reads_all_ones": false}})",
     1,
     {"fault faults.pad_reads_all_ones: expected none of 3 struck, got 3 of 3 struck"}},
    {"time unmet",
     HostRun,
     R"({"time_ns": {"max": 1000}})",
     1,
     {"time_ns: expected at most 1000, got 100398700"}},
    {"each unmet on its line",
     HostRun,
     R"({"status": "EFI_ABORTED", "time_ns": {"min": 200000000}})",
     1,
     {"status: expected EFI_ABORTED, got EFI_SUCCESS",
      "time_ns: expected at least 200000000, got 100398700"}},
    {"stack not seen in the host build",
     HostRun,
     R"({"stack_used_bytes": {"max": 256}})",
     0,
     {"expectations met: 0 of 1 (FILE); not checked: stack_used_bytes (not seen in the host "
      "build)"}},
    {"image: stack and a fault that struck",
     {"run", "--fault", "controller-never-enables"},
     R"({"stack_used_bytes": {"max": 4096}, "faults": {"controller-never-enables": true}})",
     0,
     {"expectations met: 2 of 2 (FILE)"}},
    {"op returned",
     {"op", "--host", "ReadRegister", "0x03"},
     R"({"returned": "0x41"})",
     0,
     {"expectations met: 1 of 1 (FILE)"}},
    {"op returned unmet",
     {"op", "--host", "ReadRegister", "0x03"},
     R"({"returned": 64})",
     1,
     {"returned: expected 0x40, got 0x41"}},
    {"bad: status in an op file",
     {"op", "--host", "ReadRegister", "0x03"},
     R"({"status": "EFI_SUCCESS"})",
     2,
     {"boardsim: FILE:1:2: \"status\" is a boot's (boardsim run); a slot call states "
      "\"returned\""}},
    {"bad: unknown key",
     HostRun,
     "{\n  \"pad\": {}\n}",
     2,
     {"boardsim: FILE:2:3: unknown key \"pad\" (expected one of: $schema, description, status, "
      "returned, pads, pmic_transactions, pmic_registers, faults, time_ns, stack_used_bytes)"}},
    {"bad: no such pad",
     HostRun,
     R"({"pads": {"0x3000:1": {"level": "low"}}})",
     2,
     {"boardsim: FILE:1:11: pad \"0x3000:1\": the community is 0x0000, 0x1000 or 0x2000"}},
    {"bad: field out of range",
     HostRun,
     R"({"pads": {"0x0000:1": {"mode": 9}}})",
     2,
     {"boardsim: FILE:1:32: mode is out of range (at most 0x7)"}},
    {"bad: not JSON",
     HostRun,
     R"({"status": })",
     2,
     {"boardsim: FILE:1:12: unexpected '}'; expected '[', '{', or a literal"}},
};

std::vector<std::string> LastLines(const std::string& Text, size_t Count) {
  std::vector<std::string> lines;
  size_t end = Text.size();
  while (lines.size() < Count && end > 0) {
    const size_t start = Text.rfind('\n', end - 2);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    lines.insert(lines.begin(), Text.substr(from, end - 1 - from));
    end = from;
  }
  return lines;
}

std::string Replace(std::string Text, const std::string& What, const std::string& With) {
  for (size_t at = Text.find(What); at != std::string::npos;
       at = Text.find(What, at + With.size())) {
    Text.replace(at, What.size(), With);
  }
  return Text;
}

TEST(ExpectTest, DefaultBoardAgainstEachFile) {
  for (const Row& row : Rows) {
    SCOPED_TRACE(row.Name);
    const std::string file = testsupport::WriteTempText("expect.json", row.File);
    std::vector<std::string> args{BOARDINIT_BOARDSIM};
    args.insert(args.end(), row.Command.begin(), row.Command.end());
    args.insert(args.end(), {"--expect", file});
    const testsupport::ToolRun ran = testsupport::RunTool(args);
    EXPECT_EQ(ran.Status, row.Status) << ran.Errors;
    std::vector<std::string> wanted;
    for (const std::string& line : row.Lines) {
      wanted.push_back(Replace(line, "FILE", file));
    }
    EXPECT_EQ(LastLines(row.Status == 2 ? ran.Errors : ran.Output, wanted.size()), wanted);
  }
}

} // namespace
