// The board's `monitor` commands beyond the server's own: what a register holds and who wrote it,
// answered from the models and the trace, never by an access (no trace entry, no virtual time).
#pragma once

#include "emu/GdbServer.h"
#include "sim/Soc.h"

namespace boardsim {

// `monitor pad COMMUNITY:PAD` and `monitor why ADDRESS`. The board's trace then records each
// access's instruction address, which `why` names.
void AddBoardMonitorCommands(emu::GdbServer& Server, sim::Soc& Board);

} // namespace boardsim
