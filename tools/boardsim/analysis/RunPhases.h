// The parts of a run, told from its trace: for a boot the entry, the early pads, the GPIO pass
// (its fixed pads, then one table per community, then the pads written after the tables),
// selection with the PMIC bus controller's bring-up, the board step and its settle delay; for a
// slot call, selection and the call. They cover the run without gaps, in order, for the
// timeline and for telling which part of the run made a pad access.
#pragma once

#include "sim/Trace.h"
#include "sim/decode/BusDecoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

enum class PhaseKind {
  Entry,
  EarlyPads,
  GpioFixedPads, // the I/O-port registers, pad 58 and pad 25's fourth word
  GpioTable,     // one community's table
  GpioLatePads,  // the whole-register writes after the tables
  Selection,
  BringUp, // the PMIC bus controller, before its first transfer
  BoardStep,
  Settle,
  SlotCall,
  Accesses, // a trace whose parts are not recognised
};

struct Phase {
  PhaseKind Kind;
  uint32_t Community = 0; // GpioTable: 0x0000, 0x1000 or 0x2000
  // The access numbers it covers (FirstSeq > LastSeq: none) and its time, up to the next part's
  // start or the run's end. A wait whose timer reads the trace did not keep still has its span.
  uint64_t FirstSeq = 0;
  uint64_t LastSeq = 0;
  uint64_t StartNs = 0;
  uint64_t EndNs = 0;
};

// "GPIO pass: table 0x1000", "settle delay"
std::string PhaseName(const Phase& P);

// Trace: the kept accesses (sim::TraceKeep::ViewInputs or everything). EndNs: when the run ended
// (a trace alone: its last access). CallStartNs: for a slot call, when selection returned.
std::vector<Phase> FindPhases(const std::vector<sim::Access>& Trace,
                              const sim::decode::BusActivity& Bus, uint64_t EndNs,
                              std::optional<uint64_t> CallStartNs = std::nullopt);

// The part that holds the access numbered Seq, if any.
const Phase* PhaseOf(const std::vector<Phase>& Phases, uint64_t Seq);

} // namespace boardsim
