#include "tools/boardsim/session/GdbOption.h"

#include "common/ToolError.h"
#include "emu/GdbSymbols.h"
#include "emu/Machine.h"
#include "sim/decode/BusDecoder.h"
#include "tools/boardsim/render/BusLines.h"
#include "tools/boardsim/session/BoardMonitor.h"
#include "tools/boardsim/session/RunModule.h"

#include <stdexcept>

namespace boardsim {

std::unique_ptr<emu::GdbListener> ListenForGdb(const RunOptions& Options,
                                               const std::string& BuiltImage, bool WithMap,
                                               std::ostream& Out) {
  if (!Options.Gdb) {
    return nullptr;
  }
  const std::optional<std::string> image = ImageToRun(Options, BuiltImage);
  if (!image) {
    throw tools::ToolError("boardsim: --gdb debugs the image; it cannot be used with --host",
                           tools::ExitBadInput);
  }
  // Any form the module ships in; a module a volume builder placed runs at its own base.
  const emu::PeImage module = LoadImage(*image);
  if (WithMap) {
    FindGetActivePmic(MapOf(Options.MapPath, *image));
  }
  std::unique_ptr<emu::GdbListener> listener;
  try {
    listener = std::make_unique<emu::GdbListener>(*Options.Gdb);
  } catch (const std::invalid_argument& error) {
    throw tools::ToolError(std::string("boardsim: --gdb ") + error.what(), tools::ExitBadInput);
  }
  Out << "boardsim: waiting for GDB on " << listener->Address() << '\n';
  std::string why;
  std::optional<std::string> symbols;
  try {
    // A TE image, FFS file or volume has no twin of its own name: the twin of the build's PE32
    // serves when its sections lie as the module's do.
    const uint32_t base = module.InPlace ? module.ImageBase : emu::LoadBase;
    symbols = emu::SymbolFileCommand(module, *image, base, why);
    listener->SymbolOffset = emu::SymbolOffset(module, *image, base, why);
    if (!symbols && *image != BuiltImage) {
      std::string builtWhy;
      symbols = emu::SymbolFileCommand(module, BuiltImage, base, builtWhy);
      listener->SymbolOffset = emu::SymbolOffset(module, BuiltImage, base, builtWhy);
    }
  } catch (const emu::ImageError&) {
    // A twin that does not load gives no symbols; the run goes on without them.
  }
  if (symbols) {
    Out << "boardsim: symbols: " << *symbols << '\n';
  } else if (!why.empty()) {
    Out << "boardsim: no symbols: " << why << '\n';
  }
  Out.flush();
  return listener;
}

std::unique_ptr<emu::GdbServer> AcceptGdb(emu::GdbListener* Listener, sim::Soc& Board,
                                          const RunOptions& Options) {
  if (Listener == nullptr) {
    return nullptr;
  }
  auto server = std::make_unique<emu::GdbServer>(Listener->Accept(), Board.Bus, Listener->Fd());
  server->KeepHistory({.EveryAccesses = Options.CheckpointEvery,
                       .MemoryBytes = Options.CheckpointMemoryMiB << 20,
                       .NoneKept = "no checkpoints are kept (--checkpoint-memory 0)"});
  if (Listener->SymbolOffset) {
    server->SetSymbolOffset(*Listener->SymbolOffset);
  }
  AddBoardMonitorCommands(*server, Board);
  const sim::Board& bus = Board.Bus;
  server->AddMonitorCommand(
      "pmic", "the PMIC bus so far: I2C transactions, as the summary shows them", [&bus](auto) {
        const sim::decode::BusActivity activity = sim::decode::DecodeBus(bus.GetTrace().Accesses());
        std::string text = CountBusActivity(activity) + "\n";
        for (const std::string& line : DescribeTransactions(activity)) {
          text += "  " + line + "\n";
        }
        return text;
      });
  return server;
}

} // namespace boardsim
