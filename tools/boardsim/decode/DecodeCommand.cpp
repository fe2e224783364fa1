#include "tools/boardsim/decode/DecodeCommand.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/SharedFiles.h"
#include "common/files/StandardStreams.h"
#include "sim/Trace.h"
#include "tools/boardsim/render/DecodeSummary.h"
#include "tools/boardsim/render/JsonViews.h"
#include "tools/boardsim/render/Page.h"
#include "tools/boardsim/render/SummaryJson.h"
#include "tools/boardsim/session/RunModule.h"
#include "tools/boardsim/session/SourceLines.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>

namespace boardsim {

namespace {

constexpr std::string_view Header = "# boardtrace 1";
// A trace that carries each access's instruction address (run --source).
constexpr std::string_view SitesHeader = "# boardtrace 2";
constexpr std::string_view HeaderExpected = "expected '# boardtrace 1' or '# boardtrace 2', got ";
// The longest record is well under 80 bytes; a comment may be longer, but a "line" without end
// (a device that never sends a newline) must not be held whole: past this it is not a trace.
constexpr size_t MaxLineBytes = 4096;

class TraceFile {
public:
  TraceFile(const std::string& Path, const std::string& Name) : name_(Name) {
    if (Path == "-") {
      fd_ = STDIN_FILENO;
      return;
    }
    fd_ = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw Bad(std::string("cannot open the trace: ") + std::strerror(errno));
    }
    struct stat status {};
    fstat(fd_, &status);
    if (S_ISDIR(status.st_mode)) {
      throw Bad("is a directory");
    }
    // A pipe streams like standard input; a device may never end, or never send a line.
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
      throw Bad("is not a regular file, not a trace");
    }
  }
  ~TraceFile() {
    if (fd_ != STDIN_FILENO && fd_ >= 0) {
      close(fd_);
    }
  }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  tools::ToolError Bad(const std::string& What) const {
    return tools::ToolError("boardsim: " + tools::Printable(name_) + ": " + What,
                            tools::ExitBadInput);
  }

  // The next line without its newline, or false at the end. The view stays valid until the next
  // call.
  bool Next(std::string_view& Line) {
    for (;;) {
      const auto newline = std::find(bytes_.begin() + static_cast<std::ptrdiff_t>(start_),
                                     bytes_.begin() + static_cast<std::ptrdiff_t>(end_), '\n');
      const size_t at = static_cast<size_t>(newline - bytes_.begin());
      if (at < end_ || (ended_ && start_ < end_)) {
        Line = std::string_view(bytes_.data() + start_, at - start_);
        start_ = at < end_ ? at + 1 : end_;
        ++number_;
        return true;
      }
      if (ended_) {
        return false;
      }
      if (end_ - start_ > MaxLineBytes) {
        ++number_;
        throw Bad("line " + std::to_string(number_) + ": " +
                  (number_ == 1 ? std::string(HeaderExpected) : "not a trace record: ") +
                  tools::Quoted(std::string_view(bytes_.data() + start_, end_ - start_)));
      }
      Fill();
    }
  }
  uint64_t Number() const { return number_; }

private:
  void Fill() {
    std::memmove(bytes_.data(), bytes_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    for (;;) {
      const ssize_t got = read(fd_, bytes_.data() + end_, bytes_.size() - end_);
      if (got > 0) {
        end_ += static_cast<size_t>(got);
        return;
      }
      if (got == 0) {
        ended_ = true;
        return;
      }
      if (errno != EINTR) {
        throw Bad(std::string("cannot read the trace: ") + std::strerror(errno));
      }
    }
  }

  std::string name_;
  int fd_ = -1;
  std::array<char, 1 << 20> bytes_{};
  size_t start_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
  uint64_t number_ = 0;
};

// With Sources, every record is also written to standard output again, ending with its
// instruction address and source line, as run --source writes it.
DecodeReport ReadTrace(const std::string& Path, const std::string& Name,
                       const std::optional<std::vector<PadRef>>& Pads, bool AllPads,
                       sim::SiteNames* Sources) {
  auto file = std::make_unique<TraceFile>(Path, Name);
  std::string_view line;
  if (!file->Next(line) || (line != Header && line != SitesHeader)) {
    throw file->Bad("line 1: " + std::string(HeaderExpected) + tools::Quoted(line));
  }
  if (Sources != nullptr && line != SitesHeader) {
    throw file->Bad("the trace has no instruction addresses to name (write it with --source)");
  }
  std::string annotated(SitesHeader);
  annotated += '\n';
  TraceDecoder decoder(Name, Pads, AllPads);
  std::vector<sim::Access> parsed;
  std::string error;
  std::optional<sim::Access> last;
  while (file->Next(line)) {
    if (line.empty() || line.front() == '#') {
      continue;
    }
    const std::string at = "line " + std::to_string(file->Number()) + ": ";
    parsed.clear();
    if (!sim::ParseTrace(line, parsed, error) || parsed.size() != 1) {
      throw file->Bad(at + "not a trace record: " + tools::Quoted(line));
    }
    const sim::Access& access = parsed.front();
    // Every access is numbered on from the one before and takes at least 1 ns (no access costs
    // less), so both numbers strictly increase; a trace cut down by a filter may skip some.
    if (last && access.Seq <= last->Seq) {
      throw file->Bad(at + "sequence number " + std::to_string(access.Seq) + " does not follow " +
                      std::to_string(last->Seq));
    }
    if (last && access.TimeNs <= last->TimeNs) {
      throw file->Bad(at + "time " + std::to_string(access.TimeNs) + " ns does not follow " +
                      std::to_string(last->TimeNs) + " ns");
    }
    if (decoder.Kept() >= sim::Trace::KeptLimit) {
      throw file->Bad(at + "more than " + std::to_string(sim::Trace::KeptLimit) +
                      " accesses other than PM-timer reads, more than any run keeps");
    }
    decoder.Add(access);
    last = access;
    if (Sources != nullptr) {
      sim::AppendRecord(annotated, access, Sources);
      annotated += '\n';
      if (annotated.size() >= 64 * 1024) {
        std::cout << annotated;
        annotated.clear();
      }
    }
  }
  if (Sources != nullptr) {
    std::cout << annotated;
  }
  return decoder.Finish();
}

} // namespace

int DecodeCommand(const DecodeOptions& Options, const Installation& Where) {
  const std::string name = Options.TracePath == "-" ? "standard input" : Options.TracePath;
  std::vector<files::NamedFile> outputs;
  if (Options.HtmlPath) {
    outputs.push_back({*Options.HtmlPath, "page"});
  }
  std::vector<files::NamedFile> inputs{{Options.TracePath, "trace"}};
  if (Options.Source) {
    inputs = ModuleInputs(Options.ImagePath.value_or(Where.BuiltImage), std::nullopt,
                          Where.BuiltImage, false, true);
    inputs.insert(inputs.begin(), {Options.TracePath, "trace"});
  }
  files::RefuseSharedFiles(inputs, outputs);
  PageOutput page(Options.HtmlPath);
  std::unique_ptr<SourceLines> sources;
  if (Options.Source) {
    sources = std::make_unique<SourceLines>(Options.ImagePath.value_or(Where.BuiltImage),
                                            Where.BuiltImage);
  }
  DecodeReport report =
      ReadTrace(Options.TracePath, name, Options.Pads, page.Wanted(), sources.get());
  if (report.PadDetail && Options.PadsChangedOnly) {
    KeepChanged(*report.PadDetail);
  }
  // A trace does not record the bus clock: wire times are those of the controller's default.
  report.Listing = {WireEndsOf(report.Step.Bus, sim::BoardConfig{}, report.LastNs), Options.All};
  if (page.Wanted()) {
    // The page's pad map shows every pad the trace accesses, whichever --pads names.
    DecodeReport shown = report;
    shown.PadDetail.reset();
    const std::string detail = PadsText(*report.AllPads);
    page.Write(DecodeDocument(shown), "boardsim decode " + name, &detail);
  }
  std::ostream& out = Options.HtmlPath == "-" ? std::cerr : std::cout;
  if (sources) {
    // The trace itself, named line by line, was the output.
  } else if (Options.Json) {
    PrintJson(out, DecodeDocument(report));
  } else {
    PrintDecode(out, report);
  }
  files::CheckStandardOutput();
  return 0;
}

} // namespace boardsim
