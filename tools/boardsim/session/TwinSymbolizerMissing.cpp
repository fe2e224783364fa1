// The symbolizer of a boardsim built where LLVM's development files were not found: --source is
// refused with what to install, and everything else works without it.
#include "common/ToolError.h"
#include "tools/boardsim/session/TwinSymbolizer.h"

namespace boardsim {

struct TwinSymbolizer::State {};

TwinSymbolizer::TwinSymbolizer() {
  throw tools::ToolError("boardsim: --source: this boardsim was built without LLVM's symbolizer; "
                         "install llvm-14-dev, then configure and build again",
                         tools::ExitBadInput);
}

TwinSymbolizer::~TwinSymbolizer() = default;

std::vector<SourceFrame> TwinSymbolizer::Frames(const std::string&, uint64_t) {
  return {};
}

} // namespace boardsim
