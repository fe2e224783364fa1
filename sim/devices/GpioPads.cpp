#include "sim/devices/GpioPads.h"

namespace sim {

namespace {
constexpr uint32_t ValueRegister = 8;
constexpr uint32_t DirectionMask = 0x6;
constexpr uint32_t DirectionInput = 0x2;
} // namespace

GpioPads::GpioPads(StrikeLog* Strikes) : strikes_(Strikes) {
  for (uint32_t community = 0; community < GpioCommunityCount; ++community) {
    for (uint32_t pad = 0; pad < GpioPadsPerCommunity; ++pad) {
      Preset(PadOffset(community, pad), GpioConfigReset);
      Preset(PadOffset(community, pad) + ValueRegister, GpioValueReset);
    }
  }
}

void GpioPads::DriveLevel(uint32_t Community, uint32_t Pad, bool High) {
  driven_[PadOffset(Community, Pad) + ValueRegister] = High;
}

uint32_t GpioPads::Peek(uint32_t Offset) const {
  uint32_t value = state_.Registers.Get32(Offset & ~3u);
  auto level = driven_.find(Offset & ~3u);
  if (level != driven_.end() && (value & DirectionMask) == DirectionInput) {
    value = (value & ~1u) | (level->second ? 1u : 0u);
  }
  return value;
}

uint32_t GpioPads::Read(uint32_t Offset, unsigned Width) {
  if (const auto fault = failing_.find(Offset); fault != failing_.end()) {
    uint32_t& failed = state_.FailedReads[Offset];
    if (failed < fault->second) {
      if (failed++ == 0 && strikes_ != nullptr) {
        const auto [first, last] = given_.equal_range(Offset);
        for (auto given = first; given != last; ++given) {
          strikes_->Mark({FaultKind::PadReadsAllOnes, GpioBlockBase + Offset, given->second});
        }
      }
      return AllOnes(Width);
    }
  }
  const uint32_t word = Peek(Offset);
  return (word >> (8 * (Offset & 3))) & AllOnes(Width);
}

void GpioPads::Write(uint32_t Offset, unsigned Width, uint32_t Value) {
  state_.Registers.Set(Offset, Width, Value);
}

} // namespace sim
