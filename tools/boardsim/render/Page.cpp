#include "tools/boardsim/render/Page.h"

#include "tools/boardsim/render/PageFolding.h"

#include <ostream>

namespace boardsim {

namespace page {
// The page's style and script (tools/boardsim/render/page/), built in.
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

// Inside a script element nothing may look like a tag: every '<' of the JSON text (it can only
// stand in a string) is written as its JSON escape.
void WriteScriptData(std::ostream& Out, const std::string& Id, const std::string& Text) {
  Out << "<script type=\"application/json\" id=\"" << Id << "\">";
  const std::string& text = Text;
  size_t from = 0;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', from)) {
    Out.write(text.data() + from, static_cast<std::streamsize>(at - from)) << "\\u003c";
    from = at + 1;
  }
  Out.write(text.data() + from, static_cast<std::streamsize>(text.size() - from));
  Out << "</script>\n";
}

} // namespace

void WritePage(std::ostream& Out, const nlohmann::ordered_json& Document, const std::string& Title,
               const std::string* PadDetail) {
  Out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n"
         "<meta name=\"viewport\" content=\"width=device-width\">\n<title>"
      << Escaped(Title) << "</title>\n<style>\n"
      << page::Style << "</style>\n</head>\n<body>\n";
  WriteScriptData(Out, "boardsim-document",
                  Document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
  if (PadDetail) {
    WriteScriptData(Out, "boardsim-pad-detail", *PadDetail);
  }
  Out << "<script>\n" << page::Script << "</script>\n</body>\n</html>\n";
}

PageOutput::PageOutput(const std::optional<std::string>& Path) {
  if (Path) {
    file_.emplace(*Path, "page");
  }
}

void PageOutput::Write(const nlohmann::ordered_json& Document, const std::string& Title,
                       const std::string* PadDetail) {
  if (!file_) {
    return;
  }
  WritePage(file_->Stream(), FoldForPage(Document), Title, PadDetail);
  file_->Finish();
}

} // namespace boardsim
