#include "tools/boardsim/DecodeSummary.h"

#include "tools/boardsim/BusLines.h"
#include "tools/boardsim/Summary.h"
#include "tools/run/Printable.h"

#include <iomanip>
#include <ostream>

namespace boardsim {

DecodeReport DecodeTrace(const std::string& Path, const std::vector<sim::Access>& Trace) {
  DecodeReport report;
  report.Path = Path;
  report.Accesses = Trace.size();
  for (const sim::Access& access : Trace) {
    switch (access.Op) {
    case sim::AccessOp::Read:
      ++report.MemoryReads;
      break;
    case sim::AccessOp::Write:
      ++report.MemoryWrites;
      break;
    case sim::AccessOp::In:
      ++report.PortReads;
      break;
    case sim::AccessOp::Out:
      ++report.PortWrites;
      break;
    }
  }
  report.LastNs = Trace.empty() ? 0 : Trace.back().TimeNs;
  report.Step = DescribeBoardStep(Trace);
  return report;
}

void PrintDecode(std::ostream& Out, const DecodeReport& Report) {
  Out << "trace     " << tools::Printable(Report.Path) << '\n';
  Out << "accesses  " << Report.Accesses << ", the last at " << Milliseconds(Report.LastNs)
      << " of virtual time\n";
  Out << "  memory         reads " << std::setw(7) << Report.MemoryReads << "  writes "
      << std::setw(7) << Report.MemoryWrites << '\n';
  Out << "  port           reads " << std::setw(7) << Report.PortReads << "  writes "
      << std::setw(7) << Report.PortWrites << '\n';
  if (Report.Step.GpioPassSeen) {
    PrintStepAndBus(Out, Report.Step);
    return;
  }
  // Not a boot (a trace of op, or of a run cut short): no selection or board step to tell apart.
  Out << "board step  none: the trace holds no GPIO pass\n";
  Out << "pmic bus  " << CountBusActivity(Report.Step.Bus) << '\n';
  for (const std::string& line : DescribeBusActivity(Report.Step.Bus)) {
    Out << "  " << line << '\n';
  }
}

} // namespace boardsim
