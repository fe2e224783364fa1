// boardsim's --gdb: the inputs are checked and the listening socket opened before the run (bad
// input, a bad address included, is refused and nothing waits or runs), GDB is awaited inside the
// process that runs the image, and the board's own `monitor` commands are added to the server's.
#pragma once

#include "emu/GdbServer.h"
#include "sim/Soc.h"
#include "tools/boardsim/session/RunOptions.h"

#include <memory>
#include <ostream>
#include <string>

namespace boardsim {

// None without --gdb. Throws tools::ToolError (exit 2) for --gdb with --host, an image that does
// not load, a map that does not serve (WithMap: a slot call needs one), or an address that cannot
// be listened on: every input is checked before anything waits for a debugger. Tells Out where
// to connect and how GDB finds the image's symbols.
std::unique_ptr<emu::GdbListener> ListenForGdb(const RunOptions& Options,
                                               const std::string& BuiltImage, bool WithMap,
                                               std::ostream& Out);

// Waits for GDB on Listener (none: no debugger) and serves it for a run on Board; a second
// debugger that connects meanwhile is closed at once.
std::unique_ptr<emu::GdbServer> AcceptGdb(emu::GdbListener* Listener, sim::Soc& Board,
                                          const RunOptions& Options);

} // namespace boardsim
