// Which sweep a document is of: what decides its points and their outcomes (the tool, the module,
// each board's file, the runs, the kinds, the sample and its seed), and a digest of all of it. Two
// shards belong to one sweep when their digests agree; the merge names the first input that
// differs otherwise. How the points are run (--jobs, --from-reset) and where the output goes do
// not count: they change no outcome.
#pragma once

#include "sim/faults/FaultKinds.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct SweptInputs {
  std::vector<std::string> BoardNames; // as named on the command line
  std::vector<std::string> BoardPaths; // the files they were read from
  bool Boots = true;
  std::vector<size_t> Slots;
  std::vector<sim::FaultKind> Kinds;
  std::optional<std::string> ImagePath; // none: the host build
  std::optional<std::string> MapPath;   // the image's map the slot calls use
  size_t Sample = 0;                    // 0: every point
  uint64_t Seed = 0;
};

// {"digest", "tool", "module", "boards", "boots", "slots", "kinds", "sample", "seed"}; the
// digest is the SHA-256 of the rest as compact JSON. Throws tools::ToolError (exit 2) for a file
// that cannot be read.
nlohmann::ordered_json SweepIdentity(const SweptInputs& Inputs);

// The first input two identities differ in, as a person would name it ("boards", "seed"); nothing
// when they are of the same sweep.
std::optional<std::string> IdentityDifference(const nlohmann::ordered_json& A,
                                              const nlohmann::ordered_json& B);

} // namespace boardsim
