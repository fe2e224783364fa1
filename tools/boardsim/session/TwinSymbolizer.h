// LLVM's symbolizer over the DWARF of one file, behind a plain interface.
//
// Kept in a translation unit of its own and built as C++17: LLVM 14's headers instantiate
// std::vector of a type not yet complete, which clang 14 refuses as C++20. A build without LLVM's
// development files links TwinSymbolizerMissing.cpp instead, whose constructor refuses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace boardsim {

// One frame of the inlined calls at a code address.
struct SourceFrame {
  std::string Function;
  std::string File;      // the file of the line
  std::string StartFile; // the file where the frame's function starts
  uint32_t Line = 0;     // 0: no line
};

class TwinSymbolizer {
public:
  // Throws tools::ToolError (exit 2) where boardsim was built without LLVM's symbolizer.
  TwinSymbolizer();
  ~TwinSymbolizer();
  TwinSymbolizer(const TwinSymbolizer&) = delete;
  TwinSymbolizer& operator=(const TwinSymbolizer&) = delete;

  // The frames at Address of File, innermost first; none where the file has nothing there.
  std::vector<SourceFrame> Frames(const std::string& File, uint64_t Address);

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace boardsim
