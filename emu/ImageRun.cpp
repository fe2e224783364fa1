#include "emu/ImageRun.h"

#include "emu/Machine.h"

namespace emu {

RunOptions ImageRunOptions(const sim::BoardConfig& Board) {
  RunOptions options;
  options.HobList = sim::BuildHobList(Board.Hobs, ImagePointerBytes);
  options.StackBytes = Board.StackBytes;
  return options;
}

RunResult RunImage(const PeImage& Image, sim::Board& Board, const RunOptions& Options) {
  Machine machine(Image, Board, Options.HobList, Options.InstructionLimit,
                  Options.CountInstructions, Options.StackBytes);
  if (Options.Debugger != nullptr) {
    machine.Attach(*Options.Debugger);
  }
  return RunEntry(machine, Image);
}

RunResult RunEntry(Machine& M, const PeImage& Image) {
  const uint32_t arguments[] = {0, M.PeiServices()};
  const CallResult call = M.Call(Image.AddressOfEntryPoint, arguments);
  RunResult result{std::nullopt, call.Failure, M.Counts(), M.StackUsed()};
  if (call.Returned) {
    result.Status = call.Eax;
  }
  return result;
}

} // namespace emu
