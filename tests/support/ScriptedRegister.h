// A PMIC whose one register answers from a script, one answer per read (the last for ever), and
// is plain storage elsewhere: for busy bits that clear after a while and read-backs that match
// only at some attempt. Attach it to the board's controller after Install.
#pragma once

#include "sim/devices/I2cTarget.h"

#include <algorithm>
#include <vector>

namespace testsupport {

class ScriptedRegister : public sim::I2cRegisterFileDevice {
public:
  ScriptedRegister(uint8_t Register, std::vector<uint8_t> Answers)
      : register_(Register), answers_(std::move(Answers)) {}
  uint8_t Answer(size_t Read) const { return answers_[std::min(Read, answers_.size() - 1)]; }

protected:
  uint8_t ReadRegister(uint8_t Register) override {
    return Register == register_ ? Answer(reads_++) : I2cRegisterFileDevice::ReadRegister(Register);
  }

private:
  uint8_t register_;
  std::vector<uint8_t> answers_;
  size_t reads_ = 0;
};

} // namespace testsupport
