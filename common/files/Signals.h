// What a signal that ends a tool (SIGHUP, SIGINT, SIGTERM) leaves behind: nothing. Outputs note
// their temporary files here while they exist, and a tool that runs work in child processes
// notes the children; the handler kills each child and waits for it, so that none can rename a
// file into place afterwards, removes the temporaries, and ends the process by the same signal.
// A signal the tool was started with ignored stays ignored. SIGKILL cannot be caught: it leaves
// the temporaries (never a renamed output), and the children die with their parent.
// Once the first output is committed (renamed into place) a signal no longer ends the tool: the
// files named are no longer as they were, so the run finishes normally and commits the rest.
#pragma once

#include <sys/types.h>

#include <string>

namespace files {

// Once, first thing in main (SetUpStandardStreams does it).
void CleanUpOnSignals();

// A temporary file a signal must remove; the number is for ForgetTemporary.
int WatchTemporary(const std::string& Path);
void ForgetTemporary(int Watched);

// Called just before an output replaces the file named: from then on, an ending signal is let go.
void OutputsCommitting();

void WatchChild(pid_t Child);
void ForgetChild(pid_t Child);

// In a child just forked from Parent: it dies when Parent does (even of SIGKILL, and even if
// Parent died before this call), and the parent's other children are no longer its to kill.
void DieWithParent(pid_t Parent);

} // namespace files
