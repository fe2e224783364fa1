#include "tools/boardsim/analysis/RunHeader.h"

#include "common/Printable.h"
#include "sim/faults/FaultKinds.h"

namespace boardsim {

void NoteStrikes(RunFaults& Faults, const sim::Soc& Soc) {
  const auto struck = [&](const std::optional<sim::FaultPoint>& Point) {
    return Point ? sim::StruckIn(*Point, Soc.Config(), Soc.Bus.Strikes()) : std::nullopt;
  };
  Faults.Struck.clear();
  Faults.Accesses = Soc.Bus.AccessCount();
  for (const sim::GivenFault& fault : Faults.FromBoard) {
    Faults.Struck.push_back(struck(fault.Point));
  }
  for (const std::string& point : Faults.Points) {
    Faults.Struck.push_back(struck(sim::ParseFaultPoint(point)));
  }
}

std::string ModuleName(const std::optional<std::string>& Image) {
  return Image ? "image " + tools::Printable(*Image) : "host build";
}

} // namespace boardsim
