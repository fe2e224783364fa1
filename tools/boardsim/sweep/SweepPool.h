// Runs the points of a sweep in worker processes, as many at once as asked. A worker takes every
// Nth point and reports each as it ends; a point that takes its worker down (a signal: the host
// build calling through a null slot, the CPU emulator aborting) is reported as crashed, and a new
// worker goes on after it. Worker processes also keep one run's memory from the next.
#pragma once

#include "tools/boardsim/sweep/SweepRun.h"

#include <cstddef>
#include <functional>

namespace boardsim {

// Results in point order. Progress: a bar on standard error, redrawn as points end.
std::vector<PointResult> RunInWorkers(size_t Count, unsigned Jobs,
                                      const std::function<PointResult(size_t)>& Run, bool Progress);

} // namespace boardsim
