// Where things live in the emulated machine's address space: the image, the stack, the hand-off
// memory a PEI module is given (the PEI services, the IDT, the service stubs, the return trap,
// scratch for callers and the HOB list) and, from BoardMemoryBase up, the board's memory-mapped
// space. The machine maps it; the loader checks an image that runs in place against it.
#pragma once

#include "emu/PeImage.h"
#include "emu/Ram.h"
#include "sim/BoardConfig.h"
#include "sim/HobList.h"

#include <cstdint>

namespace emu {

// The image runs away from its ImageBase (0 for the module), so a missing relocation sends an
// access into unmapped memory; only an image placed to run in place (PeImage::InPlace) runs at its
// ImageBase.
constexpr uint32_t LoadBase = 0x00800000;
// The stack runs down from StackBase + the module's stack size to StackBase, below which nothing
// is mapped: a module that goes deeper faults there, and the runner calls that a stack overflow.
// Without a size from the board the module gets what a PEI core's temporary RAM stack of 64 KiB
// leaves it (StackSize less the 256 bytes above the top).
constexpr uint32_t StackBase = 0x00700000;
constexpr uint32_t StackSize = 0x00010000;
constexpr uint32_t DefaultStackBytes = sim::MaxStackBytes;
static_assert(DefaultStackBytes == StackSize - 0x100);
// The stack is painted with this word before a run, as a PEI core paints temporary RAM, so that
// the deepest byte a run wrote can be found afterwards.
constexpr uint32_t StackPaint = 0x5AA55AA5;
constexpr uint32_t HandoffBase = 0x00600000; // PEI services, IDT and HOB list
// Everything from here up is the board's memory-mapped space: the PCI configuration window at
// 0xE0000000 and the SoC's register blocks below 4 GiB, decoded by the board (which answers all
// ones where nothing is).
constexpr uint32_t BoardMemoryBase = sim::DeviceMemoryBase;

// The hand-off page: the EFI_PEI_SERVICES table, the cell holding its address (what
// EFI_PEI_SERVICES** points to), the IDT with that pointer in the word below its base, one
// stub per service, the return trap every call returns to, a scratch area for callers, and from
// the next page on the HOB list.
constexpr uint32_t ServicesTable = HandoffBase + 0x000;
constexpr uint32_t ServicesCell = HandoffBase + 0x100;
constexpr uint32_t IdtBase = HandoffBase + 0x200;
constexpr uint32_t IdtLimit = 256 * 8 - 1;
constexpr uint32_t ServiceStubs = HandoffBase + 0xA00;
constexpr uint32_t ServiceStubSize = 4;
constexpr uint32_t ReturnTrap = HandoffBase + 0xC00;
constexpr uint32_t Scratch = HandoffBase + 0xE00;
constexpr uint32_t ScratchSize = 0x200;
constexpr uint32_t HobListBase = HandoffBase + PageSize;
static_assert(IdtBase + IdtLimit < ServiceStubs);
static_assert(ReturnTrap < Scratch && Scratch + ScratchSize <= HobListBase);
// Board files are held to this limit when they are read; the hand-off memory must not run into
// the stack above it.
static_assert(HobListBase + sim::HandoffMemoryBytes <= StackBase);

// Throws ImageError when Image runs in place where the machine has something else (or nothing
// it can map): the loader asks before a run, the machine again when it maps the image.
void CheckPlacement(const PeImage& Image);

} // namespace emu
