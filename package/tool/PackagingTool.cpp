#include "package/tool/PackagingTool.h"

#include "common/Format.h"
#include "common/Numbers.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/InputFile.h"
#include "common/files/StandardStreams.h"
#include "package/Bytes.h"

#include <iostream>

namespace package::tool {

namespace {

std::string Program() {
  return files::ProgramName();
}

int Report(const std::string& Message, int Status) {
  std::cerr << tools::Printable(Program() + ": " + Message, tools::Backslashes::Keep) << '\n';
  return Status;
}

} // namespace

int RunTool(CLI::App& App, int argc, char** argv, const std::function<void()>& Work) {
  files::SetUpStandardStreams();
  int status = 0;
  try {
    App.parse(argc, argv);
    Work();
  } catch (const CLI::Success&) {
    std::cout << App.help();
  } catch (const CLI::ParseError& error) {
    // CLI11's own exit codes (104, 105, ...) are not the tools' vocabulary: it is bad input.
    status = Report(error.what(), tools::ExitBadInput);
  } catch (const tools::ToolError& error) {
    std::cerr << error.what() << '\n';
    status = error.ExitStatus();
  } catch (const std::exception& error) {
    status = Report(error.what(), tools::ExitBadInput);
  }
  return files::FinalStatus(status);
}

uint64_t NumberOption(const std::string& Text, const std::string& Option, uint64_t Max) {
  const std::optional<uint64_t> value = tools::ParseNumber(Text, Max);
  if (!value && Text.size() > 1 && Text.front() == '0' &&
      Text.find_first_not_of("0123456789") == std::string::npos) {
    Refuse(Option + " " + Text + ": a leading zero would make it octal elsewhere; write hex " +
           "behind 0x, or decimal without the zero");
  }
  if (!value) {
    Refuse(Option + " " + tools::Printable(Text) + " is not a number from 0 to " + tools::Hex(Max) +
           " (decimal, or hex behind 0x)");
  }
  return *value;
}

std::vector<uint8_t> ReadInputFile(const std::string& Path, uint64_t Limit,
                                   const std::string& What) {
  try {
    return files::ReadInput(Path, Limit, What);
  } catch (const files::InputError& error) {
    Refuse(tools::Printable(Path) + ": " + error.what());
  }
}

void Refuse(const std::string& Message) {
  throw tools::ToolError(Program() + ": " + Message, tools::ExitBadInput);
}

} // namespace package::tool
