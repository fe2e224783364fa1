// The image's side of a PMIC slot call: GetActivePmic at the address its linker map gives, the
// descriptor and its slots read from emulated memory in the target's 32-bit layout (slot n at
// descriptor + 8 + 4n), and the slot called at the address it holds, with its arguments as
// 32-bit stack words and its pointers into the machine's scratch memory.
#pragma once

#include "emu/GdbServer.h"
#include "emu/Machine.h"
#include "emu/PeImage.h"
#include "sim/Soc.h"
#include "tools/run/SlotCall.h"

#include <cstdint>
#include <optional>

namespace boardsim {

tools::SlotRun CallSlotInImage(const emu::PeImage& Image, uint32_t GetActivePmicRva,
                               sim::Soc& Board, const std::optional<tools::SlotRequest>& Request,
                               emu::GdbServer* Debugger = nullptr);
// The same on a machine made for the image, which may be replaying an earlier run of it.
tools::SlotRun CallSlotOn(emu::Machine& Machine, uint32_t GetActivePmicRva, sim::Soc& Board,
                          const std::optional<tools::SlotRequest>& Request);

} // namespace boardsim
