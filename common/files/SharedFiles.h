// Files named on the command line are inputs or outputs, never both.
#pragma once

#include <string>
#include <vector>

namespace files {

struct NamedFile {
  std::string Path;
  std::string What; // "board", "trace", "TE image", ...
};

// Refuses (tools::ToolError, exit 2) an output that is one of the inputs, another output, or the
// file standard output already writes to. Files are compared by identity (device and inode), so
// a link or another spelling of a path is found out; an output that does not exist yet is
// compared by its resolved directory and name. "-" as an output is standard output: named twice
// it is refused. Call before anything is opened for writing.
void RefuseSharedFiles(const std::vector<NamedFile>& Inputs, const std::vector<NamedFile>& Outputs);

} // namespace files
