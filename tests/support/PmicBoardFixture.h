// A board for the PMIC library's tests: the ACPI window already open (the semaphore's waits need
// the PM timer), devices fitted on the PMIC bus by address, and a PEI hand-off the module can
// walk for a descriptor HOB.
#pragma once

#include "support/BoardFixture.h"
#include "support/PmicTimeline.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class PmicBoardTest : public BoardTest {
protected:
  PmicBoardTest() { Config.AcpiBase = 0x0402; }

  void Fit(uint16_t Address, std::string Model, std::vector<sim::I2cRegisterValue> Registers = {}) {
    sim::I2cDeviceConfig device;
    device.Address = Address;
    device.Model = std::move(Model);
    device.Registers = std::move(Registers);
    Config.I2cDevices.push_back(std::move(device));
  }

  // As BoardTest::Install, with Handoff below the IDT.
  sim::Soc& Install() {
    BoardTest::Install();
    installation.reset();
    installation = std::make_unique<tools::BoardInstallation>(soc->Bus, Handoff);
    return *soc;
  }

  std::vector<std::string> Events(bool Pads = true, uint32_t ShortestWaitUs = 100000) const {
    return Timeline(soc->Bus.GetTrace().Accesses(), Pads, ShortestWaitUs);
  }

  // The variant-5 model the board fitted at 0x34, once the bytes still queued have reached it.
  sim::Variant5Pmic& Pmic34() const {
    soc->I2c.Drain();
    for (size_t i = 0; i < Config.I2cDevices.size(); ++i) {
      if (Config.I2cDevices[i].Address == 0x34) {
        if (auto* pmic = dynamic_cast<sim::Variant5Pmic*>(soc->I2cDevices[i].get())) {
          return *pmic;
        }
      }
    }
    throw std::logic_error("no variant-5 PMIC fitted at 0x34");
  }

  tools::PeiHandoff Handoff;
};

// A descriptor HOB naming a variant, and HOBs of other kinds to put in front of it.
inline sim::HobEntry DescriptorHob(uint32_t VariantId) {
  sim::HobEntry hob;
  hob.What = sim::HobEntry::Kind::PmicDescriptor;
  hob.VariantId = VariantId;
  return hob;
}
inline sim::HobEntry OtherHob(uint16_t Type, uint32_t DataLength) {
  sim::HobEntry hob;
  hob.Type = Type;
  hob.DataLength = DataLength;
  return hob;
}
// A GUID extension HOB named like the descriptor HOB but for byte Differing of the name.
inline sim::HobEntry ForeignGuidHob(size_t Differing, uint32_t DataLength) {
  sim::HobEntry hob;
  hob.What = sim::HobEntry::Kind::Guid;
  hob.Name = sim::PmicDescriptorHobName;
  hob.Name[Differing] ^= 0x01;
  hob.DataLength = DataLength;
  return hob;
}
inline sim::HobEntry WithLength(sim::HobEntry Hob, uint16_t HobLength) {
  Hob.HobLengthOverride = HobLength;
  return Hob;
}

} // namespace testsupport
