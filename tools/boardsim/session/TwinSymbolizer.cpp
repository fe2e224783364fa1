#include "tools/boardsim/session/TwinSymbolizer.h"

#include <llvm/DebugInfo/Symbolize/Symbolize.h>

namespace boardsim {

struct TwinSymbolizer::State {
  explicit State(const llvm::symbolize::LLVMSymbolizer::Options& Options) : Symbolizer(Options) {}
  llvm::symbolize::LLVMSymbolizer Symbolizer;
};

TwinSymbolizer::TwinSymbolizer() {
  llvm::symbolize::LLVMSymbolizer::Options options;
  // The name as written, without namespaces or parameters: one word in a trace record.
  options.PrintFunctions = llvm::symbolize::FunctionNameKind::ShortName;
  state_ = std::make_unique<State>(options);
}

TwinSymbolizer::~TwinSymbolizer() = default;

std::vector<SourceFrame> TwinSymbolizer::Frames(const std::string& File, uint64_t Address) {
  auto frames = state_->Symbolizer.symbolizeInlinedCode(
      File, {Address, llvm::object::SectionedAddress::UndefSection});
  if (!frames) {
    llvm::consumeError(frames.takeError());
    return {};
  }
  std::vector<SourceFrame> found;
  for (uint32_t i = 0; i < frames->getNumberOfFrames(); ++i) {
    const llvm::DILineInfo& line = frames->getFrame(i);
    found.push_back({line.FunctionName, line.FileName, line.StartFileName, line.Line});
  }
  return found;
}

} // namespace boardsim
