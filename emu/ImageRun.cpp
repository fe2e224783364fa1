#include "emu/ImageRun.h"

#include "emu/Machine.h"

namespace emu {

RunOptions ImageRunOptions(const sim::BoardConfig& Board) {
  RunOptions options;
  options.HobList = sim::BuildHobList(Board.Hobs, ImagePointerBytes);
  return options;
}

RunResult RunImage(const PeImage& Image, sim::Board& Board, const RunOptions& Options) {
  Machine machine(Image, Board, Options.HobList, Options.InstructionLimit,
                  Options.CountInstructions);
  if (Options.Debugger != nullptr) {
    machine.Attach(*Options.Debugger);
  }
  const uint32_t arguments[] = {0, machine.PeiServices()};
  const CallResult call = machine.Call(Image.AddressOfEntryPoint, arguments);
  if (!call.Returned) {
    return {std::nullopt, call.Failure, machine.Counts()};
  }
  return {call.Eax, {}, machine.Counts()};
}

} // namespace emu
