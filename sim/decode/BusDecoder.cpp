#include "sim/decode/BusDecoder.h"

#include "sim/devices/HostBridge.h"
#include "sim/devices/I2cController.h"
#include "sim/devices/Punit.h"

#include <cstdio>
#include <deque>
#include <optional>

namespace sim::decode {

namespace {
// Controller registers and bits, as offsets from its window: the controller model's own map.
using namespace i2creg;

// Sideband message registers, as offsets from MessageControl, and the P-Unit's semaphore bits:
// the host bridge and P-Unit models' own map.
constexpr uint32_t MessageControl = 0;
constexpr uint32_t MessageData = HostBridge::MessageData - HostBridge::MessageControl;
constexpr uint32_t MessageAddressExtension =
    HostBridge::MessageAddressExtension - HostBridge::MessageControl;
constexpr uint32_t OpcodeRead = HostBridge::OpcodeRead;
constexpr uint32_t OpcodeWrite = HostBridge::OpcodeWrite;
constexpr uint32_t SemaphoreRegister = PunitSemaphoreRegister;

class I2cDecoder {
public:
  explicit I2cDecoder(std::vector<I2cTransaction>& Out) : out_(Out) {}

  void Access(const sim::Access& A, uint32_t Offset) {
    const bool write = A.Op == AccessOp::Write;
    if (write && Offset == TargetAddress) {
      target_ = A.Value;
    } else if (write && Offset == Enable) {
      enabled_ = (A.Value & 1) != 0;
      if (!enabled_) {
        Close(); // switching off drops the transaction and its queued reads
      }
    } else if (write && Offset == DataCommand && enabled_) {
      Command(A);
    } else if (!write && Offset == DataCommand) {
      if (!pendingReads_.empty()) {
        I2cTransaction& t = out_[pendingReads_.front()];
        pendingReads_.pop_front();
        t.HasValue = true;
        t.Value = static_cast<uint8_t>(A.Value);
        Extend(t, A);
      }
    } else if (!write && Offset == RawInterruptStatus && (A.Value & RawTransmitAbort)) {
      // The flag belongs to the transaction on the bus, or else to the last one that ran.
      if (open_ || !out_.empty()) {
        I2cTransaction& t = out_[open_.value_or(out_.size() - 1)];
        t.Aborted = true;
        Extend(t, A);
      }
      Close();
    }
  }

private:
  void Command(const sim::Access& A) {
    const uint16_t device = static_cast<uint16_t>(target_ & TargetAddressMask);
    const bool tenBit = (target_ & TargetTenBit) != 0;
    if (open_ && (out_[*open_].Device != device || out_[*open_].TenBit != tenBit)) {
      Close();
    }
    if (!open_) {
      I2cTransaction t;
      t.TimeNs = A.TimeNs;
      t.Device = device;
      t.TenBit = tenBit;
      t.FirstSeq = A.Seq;
      out_.push_back(t);
      open_ = out_.size() - 1;
    }
    I2cTransaction& t = out_[*open_];
    Extend(t, A);
    if (A.Value & CommandRead) {
      t.Read = true;
      pendingReads_.push_back(*open_);
    } else if (!t.HasRegister) {
      t.HasRegister = true;
      t.Register = static_cast<uint8_t>(A.Value);
    } else if (!t.HasValue) {
      t.HasValue = true;
      t.Value = static_cast<uint8_t>(A.Value);
    }
    if (A.Value & CommandStop) {
      t.Stopped = true;
      open_.reset();
    }
  }

  void Close() {
    open_.reset();
    pendingReads_.clear();
  }

  static void Extend(I2cTransaction& T, const sim::Access& A) {
    T.LastSeq = A.Seq;
    T.LastNs = A.TimeNs;
  }

  std::vector<I2cTransaction>& out_;
  uint32_t target_ = 0;
  bool enabled_ = true; // a controller found set up is taken as enabled
  std::optional<size_t> open_;
  std::deque<size_t> pendingReads_;
};

class SidebandDecoder {
public:
  explicit SidebandDecoder(std::vector<SidebandMessage>& Out) : out_(Out) {}

  // Returns the message a read of MessageData completed, if any.
  const SidebandMessage* Access(const sim::Access& A, uint32_t Offset) {
    const bool write = A.Op == AccessOp::Write;
    if (write && Offset == MessageAddressExtension) {
      extension_ = A.Value;
    } else if (write && Offset == MessageData) {
      data_ = A.Value;
    } else if (write && Offset == MessageControl) {
      SidebandMessage m;
      m.TimeNs = A.TimeNs;
      m.Seq = A.Seq;
      m.Opcode = static_cast<uint8_t>(A.Value >> 24);
      m.Port = static_cast<uint8_t>(A.Value >> 16);
      m.Register = (extension_ & 0xFFFFFF00u) | ((A.Value >> 8) & 0xFF);
      m.ByteEnables = static_cast<uint8_t>((A.Value >> 4) & 0xF);
      if (m.Opcode == OpcodeWrite) {
        m.HasValue = true;
        m.Value = data_;
        m.ValueWidth = 32;
      }
      out_.push_back(m);
      awaitingData_ = m.Opcode == OpcodeRead;
      return m.Opcode == OpcodeWrite ? &out_.back() : nullptr;
    } else if (!write && Offset == MessageData && awaitingData_) {
      awaitingData_ = false;
      SidebandMessage& m = out_.back();
      m.HasValue = true;
      m.Value = A.Value;
      m.ValueWidth = A.Width;
      return &m;
    }
    return nullptr;
  }

private:
  std::vector<SidebandMessage>& out_;
  uint32_t extension_ = 0;
  uint32_t data_ = 0;
  bool awaitingData_ = false;
};

class SemaphoreDecoder {
public:
  explicit SemaphoreDecoder(std::vector<SemaphoreHold>& Out) : out_(Out) {}

  void Message(const SidebandMessage& M, const sim::Access& Completed) {
    if (M.Port != PunitPort || M.Register != SemaphoreRegister || !M.HasValue) {
      return;
    }
    // A request is a write that raises bit 1; a release writes bit 1 back as it read it, and
    // after a time-out that is still set.
    const bool requestWasSet = (last_ & SemaphoreRequest) != 0;
    if (M.IsWrite()) {
      last_ = M.Value;
    } else {
      last_ = M.ValueWidth == 8 ? (last_ & ~0xFFu) | M.Value : M.Value;
    }
    if (M.IsWrite()) {
      if (!open_ && !requestWasSet && (M.Value & SemaphoreRequest) && !(M.Value & SemaphoreGrant)) {
        SemaphoreHold h;
        h.Requested = true;
        h.RequestNs = M.TimeNs;
        h.RequestSeq = M.Seq;
        out_.push_back(h);
        open_ = true;
      } else if (open_ && !(M.Value & SemaphoreGrant)) {
        out_.back().Released = true;
        out_.back().ReleaseNs = M.TimeNs;
        out_.back().ReleaseSeq = M.Seq;
        open_ = false;
      }
      return;
    }
    if (!(M.Value & SemaphoreGrant)) {
      return;
    }
    // Bit 8 is visible only in whole-register reads; a grant without a request counts only
    // when arbitration is seen to be in force.
    const bool arbitrated = M.ValueWidth == 32 && (M.Value & SemaphoreArbitration);
    if (open_ && !out_.back().Granted) {
      out_.back().Granted = true;
      out_.back().AcquireNs = Completed.TimeNs;
      out_.back().AcquireSeq = Completed.Seq;
    } else if (!open_ && arbitrated) {
      SemaphoreHold h;
      h.Granted = true;
      h.AcquireNs = Completed.TimeNs;
      h.AcquireSeq = Completed.Seq;
      out_.push_back(h);
      open_ = true;
    }
  }

private:
  std::vector<SemaphoreHold>& out_;
  bool open_ = false;
  uint32_t last_ = 0; // register 7 as last read or written
};
} // namespace

BusActivity DecodeBus(const std::vector<Access>& Trace, const BusAddresses& Where) {
  BusActivity activity;
  I2cDecoder i2c(activity.I2c);
  SidebandDecoder sideband(activity.Sideband);
  SemaphoreDecoder semaphore(activity.Holds);
  constexpr uint32_t I2cWindowSize = 0x1000;
  constexpr uint32_t SidebandWindowSize = 0xC;
  for (const Access& access : Trace) {
    if (access.Op != AccessOp::Read && access.Op != AccessOp::Write) {
      continue;
    }
    if (access.Address - Where.I2cRegisters < I2cWindowSize) {
      i2c.Access(access, access.Address - Where.I2cRegisters);
    } else if (access.Address - Where.SidebandRegisters < SidebandWindowSize) {
      if (const SidebandMessage* m =
              sideband.Access(access, access.Address - Where.SidebandRegisters)) {
        semaphore.Message(*m, access);
      }
    }
  }
  return activity;
}

std::string FormatTransaction(const I2cTransaction& T) {
  char line[128];
  char value[8] = "--";
  if (T.HasValue) {
    std::snprintf(value, sizeof value, "0x%02X", T.Value);
  }
  char reg[8] = "--";
  if (T.HasRegister) {
    std::snprintf(reg, sizeof reg, "0x%02X", T.Register);
  }
  std::snprintf(line, sizeof line, "%llu i2c %s 0x%02X reg %s %s %s%s",
                static_cast<unsigned long long>(T.TimeNs), T.Read ? "read " : "write", T.Device,
                reg, T.Read ? "->" : "<-", value, T.Aborted ? " aborted" : "");
  return line;
}

std::string FormatMessage(const SidebandMessage& M) {
  char line[128];
  std::snprintf(line, sizeof line, "%llu sideband %s port 0x%02X reg 0x%02X %s 0x%08X",
                static_cast<unsigned long long>(M.TimeNs), M.IsWrite() ? "write" : "read ", M.Port,
                M.Register, M.IsWrite() ? "<-" : "->", M.Value);
  return line;
}

std::string FormatHold(const SemaphoreHold& H) {
  std::string line = "semaphore";
  if (H.Requested) {
    line += " requested " + std::to_string(H.RequestNs);
  }
  line += H.Granted ? " granted " + std::to_string(H.AcquireNs) : " never granted";
  line += H.Released ? " released " + std::to_string(H.ReleaseNs) : " still held";
  return line;
}

} // namespace sim::decode
