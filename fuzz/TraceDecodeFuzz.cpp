// The trace reader and the views behind `boardsim decode` on arbitrary text: a trace is either
// read or refused with one line naming the line, and whatever it reads decodes and prints.
#include "sim/Trace.h"
#include "tools/boardsim/render/DecodeSummary.h"
#include "tools/boardsim/render/SummaryJson.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  std::vector<sim::Access> trace;
  std::string error;
  if (!sim::ParseTrace(text, trace, error)) {
    // One line that names where the text stopped being a trace.
    if (error.rfind("line ", 0) != 0 || error.find('\n') != std::string::npos) {
      std::abort();
    }
    return 0;
  }
  const boardsim::DecodeReport report = boardsim::DecodeTrace("fuzz", trace);
  if (report.Accesses != trace.size() ||
      report.MemoryReads + report.MemoryWrites + report.PortReads + report.PortWrites !=
          report.Accesses) {
    std::abort();
  }
  std::ostringstream out;
  boardsim::PrintDecode(out, report);
  boardsim::PrintJson(out, boardsim::DecodeDocument(report));
  return 0;
}
