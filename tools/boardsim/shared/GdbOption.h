// boardsim's --gdb: the listening socket is opened before the run (a bad address is bad input,
// and nothing runs), GDB is awaited inside the process that runs the image, and the board's
// own `monitor` commands are added to the server's.
#pragma once

#include "emu/GdbServer.h"
#include "sim/Soc.h"
#include "tools/boardsim/shared/Options.h"

#include <memory>
#include <ostream>
#include <string>

namespace boardsim {

// None without --gdb. Throws tools::ToolError (exit 2) for --gdb with --host or an address that
// cannot be listened on. Tells Out where to connect and how GDB finds the image's symbols.
std::unique_ptr<emu::GdbListener> ListenForGdb(const RunOptions& Options,
                                               const std::string& BuiltImage, std::ostream& Out);

// Waits for GDB on Listener (none: no debugger) and serves it for a run on Board.
std::unique_ptr<emu::GdbServer> AcceptGdb(emu::GdbListener* Listener, const sim::Soc& Board);

} // namespace boardsim
