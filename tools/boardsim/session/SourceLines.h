// The source line of each access the image made: the instruction addresses the runner records,
// named by function and file:line from the DWARF of the debug twin the build links beside the
// image, through LLVM's symbolizer.
#pragma once

#include "sim/Trace.h"
#include "tools/boardsim/session/RunOptions.h"
#include "tools/boardsim/session/TwinSymbolizer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace boardsim {

class SourceLines final : public sim::SiteNames {
public:
  // ImagePath: the module as it runs, in any form; a TE image, FFS file or volume has no twin of
  // its own name, and the twin of BuiltImage serves when its sections lie as the module's do.
  // Throws tools::ToolError (exit 2) when no twin fits the module, or boardsim has no symbolizer.
  SourceLines(const std::string& ImagePath, const std::string& BuiltImage);
  ~SourceLines();
  SourceLines(const SourceLines&) = delete;
  SourceLines& operator=(const SourceLines&) = delete;

  // "Function file:line" of the statement that made an access at Eip; "??" where the twin has
  // nothing. The register primitives are always inlined and are the same few lines for every
  // access, so the line named is the one that called the primitive.
  std::string_view Name(uint32_t Eip) override;

private:
  std::string Lookup(uint32_t Eip);

  std::string twin_;
  uint32_t base_ = 0;     // where the module's RVA 0 lies in the machine
  uint32_t twinBase_ = 0; // the twin's own RVA 0, as its DWARF addresses count
  uint32_t shift_ = 0;    // how far the twin's sections lie above the module's
  std::unique_ptr<TwinSymbolizer> symbolizer_;
  std::unordered_map<uint32_t, std::string> names_;
};

// The source lines for run's and op's --source (the image's; none without it).
std::unique_ptr<SourceLines> SourcesFor(const RunOptions& Options, const std::string& BuiltImage);

} // namespace boardsim
