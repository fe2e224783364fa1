// What the tool writes: standard output and error, and the files named on the command line.
// Files named on the command line are inputs or outputs, never both; an output file is written
// whole or not at all; a write error is one line on standard error and exit status 3, never a
// signal and never a summary that claims success.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace boardsim {

// Exit status of a run whose output could not be written (a closed pipe, a full disk, a closed
// descriptor); the run itself may have gone either way.
constexpr int ExitWriteFailed = 3;

// Once, first thing in main: SIGPIPE is ignored (a closed pipe becomes EPIPE on the write),
// standard output and error write through descriptors that remember their first error, and a
// closed descriptor 0-2 is held on /dev/null so that no file opened later takes its number.
void SetUpStandardStreams();

// Throws a tools::ToolError (ExitWriteFailed) naming the stream and the error if anything written
// to standard output so far was lost. Flushes it first.
void CheckStandardOutput();

// The exit status main ends with, given the one its command returned: a write error on standard
// output not yet reported is reported now, and lost output turns success into ExitWriteFailed.
int FinalStatus(int Status);

// Refuses (tools::ToolError, exit 2) an output that is one of the inputs, another output, or the
// file standard output already writes to. Files are compared by identity (device and inode), so
// a link or another spelling of a path is found out; an output that does not exist yet is
// compared by its resolved directory and name. "-" as an output is standard output: named twice
// it is refused. Call before anything is opened for writing.
struct NamedFile {
  std::string Path;
  std::string What; // "the board", "the trace", ...
};
void RefuseSharedFiles(const std::vector<NamedFile>& Inputs, const std::vector<NamedFile>& Outputs);

// One output named on the command line: "-" for standard output, or a path. A regular file (or a
// path that does not exist yet) is written to a temporary file beside it, which replaces it only
// once it has been written and flushed in full: until then the file named is left exactly as it
// was, and a run that fails before that removes the temporary file again. A FIFO or device is
// written directly (opening a FIFO waits for a reader, as any writer's open does).
class OutputFile {
public:
  // Opens before the run: a path that cannot be written is bad input (exit 2). What names the
  // output in messages ("trace", "waveform").
  OutputFile(const std::string& Path, const std::string& What);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& Stream();
  // Flushes; on a write error throws (ExitWriteFailed). Otherwise the temporary file, if any,
  // takes the path's place.
  void Finish();

  struct Buffer; // over a descriptor, remembering its first write error

private:
  std::string path_;
  std::string what_;
  std::string target_;    // the file the temporary one replaces (a link's target)
  std::string temporary_; // empty: written in place
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  bool finished_ = false;
};

} // namespace boardsim
