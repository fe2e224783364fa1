#include "tools/boardsim/sweep/SweepIdentity.h"

#include "common/Digest.h"
#include "common/Printable.h"
#include "common/ToolError.h"
#include "common/files/InputFile.h"
#include "tools/run/PmicSlots.h"

namespace boardsim {

namespace {

using json = nlohmann::ordered_json;

// Board files, images and maps are far smaller; this only bounds what a mistaken path reads.
constexpr uint64_t MaxDigestedFile = 256u << 20;

std::string FileSha256(const std::string& Path, const std::string& What) {
  try {
    const std::vector<uint8_t> bytes = files::ReadInput(Path, MaxDigestedFile, What);
    return tools::Sha256Hex(bytes.data(), bytes.size());
  } catch (const files::InputError& error) {
    throw tools::ToolError("boardsim: " + tools::Printable(Path) + ": " + error.what(),
                           tools::ExitBadInput);
  }
}

json ModuleIdentity(const SweptInputs& Inputs) {
  if (!Inputs.ImagePath) {
    return "host build";
  }
  json module = {{"image", FileSha256(*Inputs.ImagePath, "an image")}};
  // The slot calls find GetActivePmic in the map; a boot does not read it.
  module["map"] = Inputs.MapPath && !Inputs.Slots.empty()
                      ? json(FileSha256(*Inputs.MapPath, "a linker map"))
                      : json();
  return module;
}

} // namespace

json SweepIdentity(const SweptInputs& Inputs) {
  json boards = json::array();
  for (size_t i = 0; i < Inputs.BoardNames.size(); ++i) {
    boards.push_back({{"name", tools::Printable(Inputs.BoardNames[i])},
                      {"sha256", FileSha256(Inputs.BoardPaths[i], "a board file")}});
  }
  json slots = json::array();
  for (const size_t slot : Inputs.Slots) {
    slots.push_back(tools::PmicSlots[slot].Name);
  }
  json kinds = json::array();
  for (const sim::FaultKind kind : Inputs.Kinds) {
    kinds.push_back(sim::InfoOf(kind).Name);
  }
  json identity = {
      {"tool", "boardsim " BOARDINIT_VERSION " build " + std::to_string(BOARDINIT_BUILD_NUMBER)},
      {"module", ModuleIdentity(Inputs)},
      {"boards", boards},
      {"boots", Inputs.Boots},
      {"slots", slots},
      {"kinds", kinds},
      {"sample", Inputs.Sample == 0 ? json() : json(Inputs.Sample)},
      {"seed", Inputs.Sample == 0 ? json() : json(Inputs.Seed)}};
  const std::string compact = identity.dump();
  json named = {{"digest", tools::Sha256Hex(compact.data(), compact.size())}};
  named.update(identity);
  return named;
}

std::optional<std::string> IdentityDifference(const json& A, const json& B) {
  if (A.value("digest", "") == B.value("digest", "")) {
    return std::nullopt;
  }
  for (const char* field :
       {"tool", "module", "boards", "boots", "slots", "kinds", "sample", "seed"}) {
    if (A.value(field, json()) != B.value(field, json())) {
      return field;
    }
  }
  return "digest";
}

} // namespace boardsim
