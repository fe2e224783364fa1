// The "hobs" key of a board description: the HOB list an earlier boot module left, in order.
//   "hobs": [
//     {"kind": "other", "hob_type": "0x0002", "data_length": 40},
//     {"kind": "guid", "guid": "01234567-89AB-CDEF-0123-456789ABCDEF", "data_length": 16},
//     {"kind": "pmic-descriptor", "variant": 5, "i2c_address": "0x34"},
//     {"kind": "other", "hob_type": "0x0003", "hob_length": 0},
//     {"kind": "end-of-list"}
//   ]
// "hob_length" writes a wrong length on purpose, for a malformed list. "end-of-list" ends the list
// early: what follows it is still laid out, past the end a walker must stop at.
#include "sim/BoardFileReader.h"
#include "sim/HobWalk.h"

namespace sim {

namespace {

// "DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD" into the EFI_GUID memory layout: the first three
// groups little-endian, the last eight bytes as written.
std::array<uint8_t, 16> ParseGuid(const BoardFileReader& R, const BoardJson& V) {
  const std::string text = R.String(V, "guid");
  const size_t groups[] = {8, 4, 4, 4, 12};
  std::vector<uint8_t> bytes;
  size_t at = 0;
  for (size_t group = 0; group < 5; ++group) {
    if (group > 0 && (at >= text.size() || text[at++] != '-')) {
      R.Fail(V, "guid must be written as DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD");
    }
    for (size_t digit = 0; digit < groups[group]; digit += 2, at += 2) {
      const std::string_view pair = std::string_view(text).substr(at, 2);
      const std::optional<uint64_t> byte = pair.size() == 2 ? Digits(pair, 16) : std::nullopt;
      if (!byte) {
        R.Fail(V, "guid must be written as DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD");
      }
      bytes.push_back(static_cast<uint8_t>(*byte));
    }
  }
  if (at != text.size()) {
    R.Fail(V, "guid must be written as DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD");
  }
  std::array<uint8_t, 16> name{};
  const size_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (size_t i = 0; i < 16; ++i) {
    name[i] = bytes[order[i]];
  }
  return name;
}

// A length written on purpose and a list without its end are the malformed lists a board gives as
// faults: each is noted as the fault point closest to it (all of them strike where the module's
// walk reaches the HOB).
void ReadHobFaults(const BoardFileReader& R, const BoardJson& Hob, HobEntry& Entry,
                   BoardConfig& Config) {
  const std::string at = "hobs[" + std::to_string(Config.Hobs.size()) + "]";
  if (const BoardJson* length = FindMember(Hob, "hob_length")) {
    Entry.HobLengthOverride = static_cast<uint16_t>(R.Integer(*length, "hob_length", 0xFFFF));
    const FaultKind kind =
        *Entry.HobLengthOverride == 0                  ? FaultKind::HobZeroLength
        : *Entry.HobLengthOverride < HobHeaderBytes    ? FaultKind::HobLengthBelowHeader
        : Entry.What == HobEntry::Kind::PmicDescriptor ? FaultKind::HobDescriptorCutShort
                                                       : FaultKind::HobLengthPastEnd;
    Config.GivenFaults.push_back({at + ".hob_length", length->dump(),
                                  FaultPoint{kind, static_cast<uint32_t>(Config.Hobs.size())}});
  }
  if (Entry.What == HobEntry::Kind::NoEndMarker) {
    Config.GivenFaults.push_back({at, Hob.dump(), FaultPoint{FaultKind::HobNoEndMarker}});
  }
}

} // namespace

void ReadHobs(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config) {
  for (const BoardJson& hob : R.Array(V, "hobs")) {
    R.Object(hob, "a HOB");
    const BoardJson* kind = FindMember(hob, "kind");
    if (kind == nullptr) {
      R.Fail(hob,
             "a HOB needs \"kind\" (pmic-descriptor, guid, other, end-of-list or no-end-marker)");
    }
    HobEntry entry;
    const std::string what = R.String(*kind, "kind");
    if (what == "pmic-descriptor") {
      R.Keys(hob, {"kind", "variant", "i2c_address", "hob_length"});
      entry.What = HobEntry::Kind::PmicDescriptor;
      if (const BoardJson* variant = FindMember(hob, "variant")) {
        entry.VariantId = static_cast<uint32_t>(R.Integer(*variant, "variant", 0xFFFFFFFF));
      }
      if (const BoardJson* address = FindMember(hob, "i2c_address")) {
        entry.I2cAddress = static_cast<uint8_t>(R.Integer(*address, "i2c_address", 0x7F));
      }
    } else if (what == "guid") {
      R.Keys(hob, {"kind", "guid", "data_length", "hob_length"});
      entry.What = HobEntry::Kind::Guid;
      const BoardJson* guid = FindMember(hob, "guid");
      if (guid == nullptr) {
        R.Fail(hob, "a guid HOB needs \"guid\"");
      }
      entry.Name = ParseGuid(R, *guid);
    } else if (what == "other") {
      R.Keys(hob, {"kind", "hob_type", "data_length", "hob_length"});
      entry.What = HobEntry::Kind::Other;
      const BoardJson* type = FindMember(hob, "hob_type");
      if (type == nullptr) {
        R.Fail(hob, "an other HOB needs \"hob_type\"");
      }
      entry.Type = static_cast<uint16_t>(R.Integer(*type, "hob_type", 0xFFFE));
      if (entry.Type == HobTypeGuidExtension) {
        R.Fail(*type, "hob_type 4 is a GUID extension HOB: use kind \"guid\"");
      }
    } else if (what == "end-of-list") {
      R.Keys(hob, {"kind"});
      entry.What = HobEntry::Kind::EndOfList;
    } else if (what == "no-end-marker") {
      R.Keys(hob, {"kind"});
      if (&hob != &V.back()) {
        R.Fail(hob, "\"no-end-marker\" says where the list stops: it must be the last entry");
      }
      entry.What = HobEntry::Kind::NoEndMarker;
    } else {
      R.Fail(*kind, "unknown HOB kind " + QuoteText(what) +
                        " (known: pmic-descriptor, guid, other, end-of-list, no-end-marker)");
    }
    if (const BoardJson* length = FindMember(hob, "data_length")) {
      entry.DataLength = static_cast<uint32_t>(R.Integer(*length, "data_length", 0x8000));
    }
    ReadHobFaults(R, hob, entry, Config);
    Config.Hobs.push_back(entry);
  }
  // The host layout is the larger: its descriptor slots are twice as wide.
  const size_t bytes = HobListBytes(Config.Hobs, 8);
  if (bytes > MaxHobListBytes) {
    R.Fail(V, "the HOB list takes " + std::to_string(bytes) + " bytes; the hand-off memory holds " +
                  std::to_string(MaxHobListBytes));
  }
  if (const auto problem = CheckHobWalk(Config.Hobs)) {
    R.Fail(problem->Entry < V.size() ? V[problem->Entry] : V,
           "HOB " + std::to_string(problem->Entry) + " " + problem->What);
  }
}

} // namespace sim
