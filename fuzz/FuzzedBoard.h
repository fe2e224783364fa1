// What the boot and slot-call targets share: the built-in boards, devices whose reads answer
// what the fuzzer chooses, and the writes of the built-in boards' fault-free runs as the oracle.
#pragma once

#include "sim/Board.h"
#include "sim/BoardConfig.h"
#include "sim/FaultOutcome.h"
#include "sim/Soc.h"
#include "sim/Trace.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

// Every board in boards/, read once.
const std::vector<sim::BoardConfig>& BuiltInBoards();
// The built-in board the input's next bytes name.
const sim::BoardConfig& PickBuiltInBoard(FuzzedDataProvider& Input);

// While the input lasts, each read of the PMIC bus controller (status bits, received bytes), the
// PCI configuration window (sideband data), the pad block and the PM timer takes one byte of it:
// odd, and the next four bytes are the answer in place of the device's (the PMC base register's
// only ever all ones: a value earlier firmware set up is trusted). Once the input is used
// up the devices answer for themselves, so every input ends in a board that works.
class FuzzedAnswers final : public sim::ReadAnswers {
public:
  explicit FuzzedAnswers(FuzzedDataProvider& Input) : input_(Input) {}
  uint32_t Answer(sim::Space S, uint32_t Address, unsigned Width, const sim::Device* Dev,
                  uint32_t Value) override;

private:
  FuzzedDataProvider& input_;
};

// A board as the targets run it: its trace keeps what the write check reads and, given an input,
// its devices answer from it (FuzzedAnswers); without one they answer for themselves.
class FuzzedSoc {
public:
  explicit FuzzedSoc(const sim::BoardConfig& Config, FuzzedDataProvider* Input = nullptr);
  FuzzedSoc(const FuzzedSoc&) = delete;
  FuzzedSoc& operator=(const FuzzedSoc&) = delete;

  const std::vector<sim::Access>& Accesses() const { return Soc.Bus.GetTrace().Accesses(); }

  sim::Soc Soc;

private:
  std::optional<FuzzedAnswers> answers_;
};

// The traces of the fault-free boots of every built-in board (a finding if one does not return).
std::vector<std::vector<sim::Access>> BuiltInBoots();

// The fault-free runs whose writes the target's check takes as its reference: each board target
// defines them.
std::vector<std::vector<sim::Access>> ReferenceRuns();

// Their writes, as one reference (sim/FaultOutcome.h): a register none of them writes is a stray
// write, and a value none of them writes is one built on a failed read when the register's last
// read failed. Made once, before the first input (FuzzedBoard.cpp's LLVMFuzzerInitialize), so
// that no input's time pays for it.
const sim::ReferenceWrites& Reference();

// The writes of Run that Reference does not account for, unless Also (the same call's fault-free
// runs, where there are some) does.
std::vector<sim::BadWrite> Unaccounted(const std::vector<sim::Access>& Run,
                                       const sim::ReferenceWrites& Reference,
                                       const sim::ReferenceWrites* Also = nullptr);

// A finding for the first of them.
void CheckWrites(const std::string& What, const std::vector<sim::Access>& Run,
                 const sim::ReferenceWrites& Reference, const sim::ReferenceWrites* Also = nullptr);

// Ends the process as a finding, naming what was found.
[[noreturn]] void Finding(const std::string& What);

} // namespace fuzz
