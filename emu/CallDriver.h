// What drives a call's run from outside the machine, as a debugger does. The machine hands each
// call to its driver once the call is set up, and the driver runs it through the machine's run
// control (Machine's public members under "Run control") until the call ends; without a driver
// the machine runs each call straight to its end.
#pragma once

#include <atomic>

namespace emu {

class Machine;

class CallDriver {
public:
  // Runs the call under way on M from its EIP (the call's first instruction, or where it goes on
  // from a checkpoint) until it returns, fails or is stopped, and returns what the last
  // Machine::Continue of it returned (0 where the driver ended it with Machine::Stop).
  virtual int DriveCall(Machine& M) = 0;
  // What the driver raises, from any thread, to have the run stop at its next `pause`
  // (Machine::Interrupted then says so). It must outlive the calls.
  virtual const std::atomic<bool>& InterruptRequested() const = 0;

protected:
  ~CallDriver() = default;
};

} // namespace emu
