#include "tools/boardsim/shared/Page.h"

#include <ostream>

namespace boardsim {

namespace page {
// The page's style and script (tools/boardsim/shared/page/), built in.
extern const char* const Style;
extern const char* const Script;
} // namespace page

namespace {

// Text for an HTML element's content: the title is the user's bytes (a board's name).
std::string Escaped(const std::string& Text) {
  std::string out;
  for (const char c : Text) {
    switch (c) {
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '&':
      out += "&amp;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

// Inside a script element nothing may look like a tag: every '<' of the document (it can only
// stand in a string) is written as its JSON escape.
std::string ScriptData(const nlohmann::ordered_json& Document) {
  const std::string text =
      Document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '<') {
      out += "\\u003c";
    } else {
      out += c;
    }
  }
  return out;
}

} // namespace

void WritePage(std::ostream& Out, const nlohmann::ordered_json& Document,
               const std::string& Title) {
  Out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
         "<meta name=\"viewport\" content=\"width=device-width\">\n<title>"
      << Escaped(Title) << "</title>\n<style>\n"
      << page::Style << "</style>\n</head>\n<body>\n"
      << "<script type=\"application/json\" id=\"boardsim-document\">" << ScriptData(Document)
      << "</script>\n<script>\n"
      << page::Script << "</script>\n</body>\n</html>\n";
}

PageOutput::PageOutput(const std::optional<std::string>& Path) {
  if (Path) {
    file_.emplace(*Path, "page");
  }
}

void PageOutput::Write(const nlohmann::ordered_json& Document, const std::string& Title) {
  if (!file_) {
    return;
  }
  WritePage(file_->Stream(), Document, Title);
  file_->Finish();
}

} // namespace boardsim
