// Which form of the module a run uses: the image the build made (what goes to flash), another
// image named on the command line, or the host-linked module.
#pragma once

#include "common/files/SharedFiles.h"
#include "emu/GdbServer.h"
#include "emu/PeImage.h"
#include "sim/Soc.h"
#include "tools/boardsim/render/Summary.h"
#include "tools/boardsim/session/BoardInput.h"
#include "tools/boardsim/session/RunOptions.h"
#include "tools/run/HostRun.h"
#include "tools/run/SlotCall.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// The image a run of Options uses, or none for the host build.
std::optional<std::string> ImageToRun(const RunOptions& Options, const std::string& BuiltImage);

// What a summary opens with: the board with its description, the form, the faults as given.
RunHeader HeaderOf(const LoadedBoard& Board, const RunOptions& Options,
                   const std::string& BuiltImage);

// Every file a run of Image may read besides the board, whether named or found beside it: the
// image; with Map, its linker map (MapPath, or the one beside the image); with Twins (--source,
// --gdb), the debug twins looked for, the image's and the build's. Outputs are checked against all
// of them, so that no output replaces a file the command reads without naming it.
std::vector<files::NamedFile> ModuleInputs(const std::string& Image,
                                           const std::optional<std::string>& MapPath,
                                           const std::string& BuiltImage, bool Map, bool Twins);

// Refuses (exit 2) a --trace, --vcd, --html or --junit that names the board, a file of
// ModuleInputs (op reads the linker map), the expectation file, another output, or the file
// standard output writes to; before anything is opened.
void RefuseSharedFiles(const RunOptions& Options, const std::string& BoardPath,
                       const std::string& BuiltImage, bool WithMap);

// Where the summary goes: standard error when an output takes standard output.
std::ostream& SummaryStream(const RunOptions& Options);

// The image at Path (any form the module ships in); bad input (tools::ToolError, exit 2) when it
// does not load.
emu::PeImage LoadImage(const std::string& Path);

// The image's linker map: --map, or the image's path with .map.
std::string MapOf(const std::optional<std::string>& MapPath, const std::string& ImagePath);

// The stack the image gets on Board, in bytes.
uint32_t StackBytesOf(const sim::BoardConfig& Board);

// GetActivePmic's RVA from the linker map at MapPath; a missing map or symbol is bad input.
uint32_t FindGetActivePmic(const std::string& MapPath);

struct ModuleRun {
  std::string Module; // for the summary: "host build" or "image <path>"
  tools::RunResult Result;
};

// Runs the chosen module on Board. An image that cannot be loaded is bad input: a
// tools::ToolError with exit status 2, thrown before anything runs.
// The board's HOB list is handed over in the layout of the form that runs.
// With Debugger, the image runs under GDB.
ModuleRun RunModule(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                    emu::GdbServer* Debugger = nullptr);

struct ModuleSlotCall {
  std::string Module;
  tools::SlotRun Run;
};

// GetActivePmic and one slot (or none) in the chosen form. The image form finds GetActivePmic in
// the linker map beside the image (the image's path with .map); a missing or unreadable map, or
// one without GetActivePmic, is bad input like an image that does not load.
ModuleSlotCall CallSlot(const RunOptions& Options, sim::Soc& Board, const std::string& BuiltImage,
                        const std::optional<tools::SlotRequest>& Request,
                        emu::GdbServer* Debugger = nullptr);

} // namespace boardsim
