// How deep the image goes into its stack on every built-in board: the boot and each slot call the
// board's descriptor fills, run as the sweep runs its fault-free references, each on a freshly
// painted stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace bench {

struct StackRun {
  std::string Board;
  std::string What;    // "boot" or the slot's name
  std::string Command; // the boardsim command that makes this run alone
  uint32_t Used = 0;   // the deepest byte written below the stack's top
  uint32_t Bytes = 0;  // the stack the board gives the image
  bool Returned = true;
};

struct StackReport {
  // Board by board, in the order the sweep takes them: the boot, then each filled slot in order.
  std::vector<StackRun> Runs;
  size_t Deepest = 0; // the first of the deepest runs
};

// Runs the image at ImagePath (GetActivePmic from the linker map at MapPath) on every board file
// of BoardsDir, or only on Boards (names in BoardsDir) when given. A folder without board files,
// or an image, map or board that cannot be read, throws tools::ToolError (exit 2).
StackReport MeasureStack(const std::string& ImagePath, const std::string& MapPath,
                         const std::string& BoardsDir, const std::vector<std::string>& Boards = {});

// The deepest run, then one line per board: its boot and its deepest slot call.
void PrintStackReport(std::ostream& Out, const StackReport& Report);

} // namespace bench
