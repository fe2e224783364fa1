#include "sim/Trace.h"
#include "tools/boardsim/Commands.h"
#include "tools/boardsim/DecodeSummary.h"
#include "tools/boardsim/SummaryJson.h"
#include "tools/run/Printable.h"
#include "tools/run/ToolError.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>

namespace boardsim {

namespace {

std::string ReadAll(const std::string& Path) {
  std::ostringstream text;
  if (Path == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  if (std::filesystem::is_directory(Path)) {
    throw tools::ToolError("boardsim: " + Path + ": is a directory", tools::ExitBadInput);
  }
  std::ifstream file(Path);
  if (!file) {
    throw tools::ToolError("boardsim: " + Path + ": cannot open the trace", tools::ExitBadInput);
  }
  text << file.rdbuf();
  if (file.bad()) {
    throw tools::ToolError("boardsim: " + Path + ": cannot read the trace", tools::ExitBadInput);
  }
  return text.str();
}

constexpr std::string_view Header = "# boardtrace 1";
constexpr std::string_view NotARecord = ": not a trace record: ";
constexpr size_t QuotedBytes = 40;

// Text quoted from the file is escaped and cut short, so that the error stays one line.
std::string Quoted(std::string_view Text) {
  return "'" + tools::Printable(Text.substr(0, QuotedBytes)) +
         (Text.size() > QuotedBytes ? "'..." : "'");
}

std::vector<sim::Access> ParseTraceText(const std::string& Name, const std::string& Text) {
  const auto bad = [&](const std::string& What) {
    return tools::ToolError("boardsim: " + Name + ": " + What, tools::ExitBadInput);
  };
  const std::string_view first = std::string_view(Text).substr(0, Text.find('\n'));
  if (first != Header) {
    throw bad("line 1: expected '" + std::string(Header) + "', got " + Quoted(first));
  }
  std::vector<sim::Access> trace;
  std::string error;
  if (!sim::ParseTrace(Text, trace, error)) {
    // "line N: not a trace record: <the line>"
    const size_t quote = error.find(NotARecord);
    throw bad(quote == std::string::npos
                  ? error
                  : error.substr(0, quote + NotARecord.size()) +
                        Quoted(std::string_view(error).substr(quote + NotARecord.size())));
  }
  return trace;
}

} // namespace

int DecodeCommand(const DecodeOptions& Options) {
  const std::string name = Options.TracePath == "-" ? "standard input" : Options.TracePath;
  const std::vector<sim::Access> trace = ParseTraceText(name, ReadAll(Options.TracePath));
  const DecodeReport report = DecodeTrace(name, trace);
  if (Options.Json) {
    PrintDecodeJson(std::cout, report);
  } else {
    PrintDecode(std::cout, report);
  }
  return 0;
}

} // namespace boardsim
