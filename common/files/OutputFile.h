// One output named on the command line: "-" for standard output, or a path. A regular file (or a
// path that does not exist yet) is written to a temporary file beside it, which replaces it only
// once it has been written and flushed in full: until then the file named is left exactly as it
// was, and a run that fails before that, or ends by a signal, removes the temporary file again.
// A device or FIFO is written into, never replaced (opening a FIFO waits for a reader, as any
// writer's open does). Through a symbolic link, even one to a file that does not exist yet, the
// file it names is written.
#pragma once

#include "common/files/DescriptorBuffer.h"

#include <memory>
#include <ostream>
#include <string>

namespace files {

class OutputFile {
public:
  // Opens before the work: a path that cannot be written is bad input (tools::ToolError, exit 2).
  // What names the output in messages ("trace", "TE image").
  OutputFile(const std::string& Path, const std::string& What);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& Stream();
  // Flushes; on a write error throws (tools::ExitWriteFailed). Otherwise the temporary file, if
  // any, takes the path's place.
  void Finish();

private:
  std::string path_;
  std::string what_;
  std::string target_;    // the file the temporary one replaces (a link's target)
  std::string temporary_; // empty: written in place
  int watched_ = -1;      // the temporary's number for a signal's clean-up
  std::unique_ptr<DescriptorBuffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  bool finished_ = false;
};

} // namespace files
