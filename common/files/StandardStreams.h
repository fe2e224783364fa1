// Standard output and error of a tool: a write error is one line on standard error and exit
// status 3 (tools::ExitWriteFailed), never a signal and never a summary that claims success.
#pragma once

namespace files {

// The name the tool's messages start with: the program's, as it was started.
const char* ProgramName();

// Once, first thing in main: SIGPIPE is ignored (a closed pipe becomes EPIPE on the write),
// standard output and error write through descriptors that remember their first error, a closed
// descriptor 0-2 is held on /dev/null so that no file opened later takes its number, and a signal
// that ends the tool cleans up first (Signals.h).
void SetUpStandardStreams();

// Throws a tools::ToolError (ExitWriteFailed) naming the stream and the error if anything written
// to standard output so far was lost. Flushes it first.
void CheckStandardOutput();

// The error of standard output's first failed write, 0 while there has been none.
int StandardOutputError();

// The exit status main ends with, given the one its command returned: a write error on standard
// output not yet reported is reported now, and lost output turns success into ExitWriteFailed.
int FinalStatus(int Status);

} // namespace files
