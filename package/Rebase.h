// Placing an image at an address by applying its base relocations, as a volume builder does for
// a module that runs in place.
#pragma once

#include "package/Section.h"

#include <cstdint>
#include <span>
#include <vector>

namespace package {

// The PE32 file rebased so that its RVA 0 is NewBase: every fixup moved, ImageBase updated.
std::vector<uint8_t> RebasePe(std::span<const uint8_t> Pe, uint32_t NewBase);

// The TE image rebased for running where its first byte (the TE header) lies at HeaderAddress,
// so that its ImageBase becomes HeaderAddress - (StrippedSize - 40).
std::vector<uint8_t> RebaseTe(std::span<const uint8_t> Te, uint32_t HeaderAddress);

// The image in a PE32 or TE section's data rebased to run where that data lies at Address;
// other sections are returned unchanged.
Section RebaseSection(const Section& Image, uint32_t Address);

// Refuses a PE32 or TE image that cannot run where it lies in a volume: one whose sections lie
// at file offsets other than their RVAs, or that need more memory than their file data (nothing
// would zero it in flash).
void CheckRunsInPlace(const Section& Image);

} // namespace package
