// A run told as one list of events in time order: PMIC bus semaphore holds taken and given back,
// I2C transactions, pad-block register accesses and the long settle wait. One comparison then
// pins what went over the bus, under which hold, and how it interleaved with the pads.
#pragma once

#include "sim/decode/BusDecoder.h"
#include "sim/devices/GpioPads.h"
#include "support/BoardFixture.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline const std::string Lock = "lock";
inline const std::string Unlock = "unlock";
inline const std::string Settle = "wait 100000 us";

inline std::string Hex(uint32_t Value, int Digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", Digits, Value);
  return text;
}

// One transaction: "read 34:30 = 12", "write 34:30 = 92"; a refused one ends in " failed", and a
// byte that never moved shows as "--".
inline std::string Rd(uint8_t Device, uint8_t Register, uint8_t Value) {
  return "read " + Hex(Device, 2) + ":" + Hex(Register, 2) + " = " + Hex(Value, 2);
}
inline std::string Wr(uint8_t Device, uint8_t Register, uint8_t Value) {
  return "write " + Hex(Device, 2) + ":" + Hex(Register, 2) + " = " + Hex(Value, 2);
}
inline std::string RdFailed(uint8_t Device, uint8_t Register) {
  return "read " + Hex(Device, 2) + ":" + Hex(Register, 2) + " = -- failed";
}
// A transfer, read or write, that ended at its refused register index. A write whose data byte
// was queued before the refusal showed shows as Wr: that refusal surfaces in a later transfer.
inline std::string IndexRefused(uint8_t Device, uint8_t Register) {
  return "write " + Hex(Device, 2) + ":" + Hex(Register, 2) + " = -- failed";
}
inline std::string PadRd(uint32_t Address, uint32_t Value) {
  return "pad read " + Hex(Address, 8) + " = " + Hex(Value, 8);
}
inline std::string PadWr(uint32_t Address, uint32_t Value) {
  return "pad write " + Hex(Address, 8) + " = " + Hex(Value, 8);
}

inline std::string Describe(const sim::decode::I2cTransaction& T) {
  std::string line = (T.Read ? "read " : "write ") + Hex(T.Device, 2) + ":" +
                     (T.HasRegister ? Hex(T.Register, 2) : "--") + " = " +
                     (T.HasValue ? Hex(T.Value, 2) : "--");
  return T.Aborted ? line + " failed" : line;
}

// Pads are left out when Pads is false; delays shorter than ShortestWaitUs (by default all but
// the settle wait: the semaphore's and the controller's polls) never appear.
inline std::vector<std::string> Timeline(const std::vector<sim::Access>& Trace, bool Pads = true,
                                         uint32_t ShortestWaitUs = 100000) {
  std::vector<std::pair<uint64_t, std::string>> events;
  const sim::decode::BusActivity bus = sim::decode::DecodeBus(Trace);
  for (const sim::decode::SemaphoreHold& hold : bus.Holds) {
    events.emplace_back(hold.Granted ? hold.AcquireNs : hold.RequestNs, Lock);
    if (hold.Released) {
      events.emplace_back(hold.ReleaseNs, Unlock);
    }
  }
  for (const sim::decode::I2cTransaction& t : bus.I2c) {
    events.emplace_back(t.TimeNs, Describe(t));
  }
  for (size_t i = 0; i < Trace.size(); ++i) {
    const sim::Access& a = Trace[i];
    if (a.Op == sim::AccessOp::In && a.Address == 0x408) {
      size_t end = i;
      while (end + 1 < Trace.size() && Trace[end + 1].Op == sim::AccessOp::In &&
             Trace[end + 1].Address == 0x408) {
        ++end;
      }
      const uint32_t us = DelayFromTicks((Trace[end].Value - a.Value) & 0xFFFFFF);
      if (us >= ShortestWaitUs) {
        events.emplace_back(a.TimeNs, "wait " + std::to_string(us) + " us");
      }
      i = end;
    } else if (Pads && a.Address - sim::GpioBlockBase < sim::GpioBlockSize) {
      events.emplace_back(a.TimeNs, a.Op == sim::AccessOp::Read ? PadRd(a.Address, a.Value)
                                                                : PadWr(a.Address, a.Value));
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const auto& A, const auto& B) { return A.first < B.first; });
  std::vector<std::string> out;
  for (auto& event : events) {
    out.push_back(std::move(event.second));
  }
  return out;
}

// Brackets each group of events in its own hold: Locked({a}, {b, c}) is lock a unlock lock b c
// unlock.
inline std::vector<std::string> Locked(std::initializer_list<std::vector<std::string>> Holds) {
  std::vector<std::string> out;
  for (const auto& hold : Holds) {
    out.push_back(Lock);
    out.insert(out.end(), hold.begin(), hold.end());
    out.push_back(Unlock);
  }
  return out;
}

// Each transfer under a hold of its own.
inline std::vector<std::string> EachLocked(const std::vector<std::string>& Transfers) {
  std::vector<std::string> out;
  for (const auto& transfer : Transfers) {
    out.insert(out.end(), {Lock, transfer, Unlock});
  }
  return out;
}

// Detection on a bus where no device answers: variants 5, 6 and 1 each ask their identification
// register under a hold of its own, and the fallback asks nothing.
inline const std::vector<std::string> NobodyAnswers =
    EachLocked({RdFailed(0x34, 0x03), RdFailed(0x5E, 0x00), RdFailed(0x6E, 0x00)});

inline std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> Parts) {
  std::vector<std::string> out;
  for (const auto& part : Parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

} // namespace testsupport
