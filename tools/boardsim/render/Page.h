// One page a browser shows (--html): the run's JSON document, as --json prints it, embedded as
// data in a self-contained HTML file whose own script draws it (a timeline, the pad map and the
// tables of a run; the matrix and the failures of a sweep). Style and script are inline and the
// page's content security policy forbids every fetch: it opens from file:// with no network.
#pragma once

#include "common/files/OutputFile.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <optional>
#include <string>

namespace boardsim {

// Title: the browser tab's, such as "boardsim run default".
void WritePage(std::ostream& Out, const nlohmann::ordered_json& Document, const std::string& Title);

// Where --html goes, if anywhere. The file is opened before the run, so that a path that cannot
// be written is refused (exit 2) before any time is spent, and it is written whole or not at all.
class PageOutput {
public:
  explicit PageOutput(const std::optional<std::string>& Path);
  bool Wanted() const { return file_.has_value(); }
  void Write(const nlohmann::ordered_json& Document, const std::string& Title,
             const std::string* PadDetail = nullptr);

private:
  std::optional<files::OutputFile> file_;
};

} // namespace boardsim
