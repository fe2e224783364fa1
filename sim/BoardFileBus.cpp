// The PMIC bus part of a board description:
//   "pmc_function_disable": "0x20000000",
//   "i2c_controller": {"present": true, "bar0": 0, "bar1": 0, "command": 0,
//                      "enable_latency_reads": 0, "enable_latency_ns": 0, "bus_hz": 400000,
//                      "transmit_fifo_depth": 16, "receive_fifo_depth": 16},
//   "i2c_devices": [{"address": "0x34", "ten_bit": false, "model": "register-file",
//                    "registers": {"0x12": "0xA5"}},
//                   {"model": "pmic-variant1", "registers": {"0x00": "0x1F"},
//                    "conversion": {"reading": 512, "busy_reads": 3, "busy_ns": 0,
//                                   "never_finishes": false},
//                    "refuse_writes": 21}],
//   "punit": {"arbitrated": true, "host_holds_bus": false, "grant_delay_ns": 0,
//             "busy_until_ns": 0, "register6": 0},
//   "faults": {"i2c_never_acknowledges": ["0x34"], "i2c_controller_stays_active": true,
//              "i2c_controller_never_enables": true, "i2c_bus_stalled": true,
//              "i2c_abort_on_byte": 3, "semaphore_never_granted": true,
//              "i2c_bus_stalled_from_byte": 4,
//              "i2c_stops_acknowledging": [{"address": "0x34", "from_transfer": 2}],
//              "pm_timer_frozen_from_read": 100}
#include "sim/BoardFileReader.h"
#include "sim/devices/I2cDeviceModels.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace sim {

namespace {

constexpr uint64_t U32 = 0xFFFFFFFF;
constexpr uint64_t U64 = std::numeric_limits<uint64_t>::max();

// Reads Key of Object, if present, into Field with the given bound.
template <typename T>
void Optional(const BoardFileReader& R, const BoardJson& Object, const char* Key, uint64_t Max,
              T& Field) {
  if (const BoardJson* v = FindMember(Object, Key)) {
    Field = static_cast<T>(R.Integer(*v, Key, Max));
  }
}

void OptionalFlag(const BoardFileReader& R, const BoardJson& Object, const char* Key, bool& Field) {
  if (const BoardJson* v = FindMember(Object, Key)) {
    Field = R.Boolean(*v, Key);
  }
}

// The first fitted device at Address, 7-bit or 10-bit.
I2cDeviceConfig* FindDevice(BoardConfig& Config, uint64_t Address) {
  for (I2cDeviceConfig& device : Config.I2cDevices) {
    if (device.Address == Address) {
      return &device;
    }
  }
  return nullptr;
}

// The model an entry names; the register file when it names none.
const I2cDeviceModel& ReadModel(const BoardFileReader& R, const BoardJson& Entry,
                                I2cDeviceConfig& Device) {
  if (const BoardJson* model = FindMember(Entry, "model")) {
    Device.Model = R.String(*model, "model");
    if (FindI2cDeviceModel(Device.Model) == nullptr) {
      std::string known;
      for (const I2cDeviceModel& each : I2cDeviceModels) {
        known += (known.empty() ? "" : ", ") + std::string(each.Name);
      }
      R.Fail(*model,
             "unknown I2C device model " + QuoteText(Device.Model) + " (known: " + known + ")");
    }
  }
  return *FindI2cDeviceModel(Device.Model);
}

// A PMIC model left without an address sits at its usual 7-bit one.
void ReadAddress(const BoardFileReader& R, const BoardJson& Entry, const I2cDeviceModel& Model,
                 const BoardConfig& Config, I2cDeviceConfig& Device) {
  const BoardJson* address = FindMember(Entry, "address");
  if (address != nullptr) {
    Device.Address =
        static_cast<uint16_t>(R.Integer(*address, "address", Device.TenBit ? 0x3FF : 0x7F));
  } else if (Model.Pmic != nullptr && !Device.TenBit) {
    Device.Address = Model.Pmic->DefaultAddress;
  } else {
    R.Fail(Entry, "an I2C device needs an \"address\"");
  }
  for (const I2cDeviceConfig& other : Config.I2cDevices) {
    if (other.Address == Device.Address && other.TenBit == Device.TenBit) {
      R.Fail(address != nullptr ? *address : Entry, "two I2C devices at the same address");
    }
  }
}

// Register numbers are the keys ("0x12" or "18"), so they read like a register map.
void ReadPresets(const BoardFileReader& R, const BoardJson& Registers, I2cDeviceConfig& Device) {
  for (const auto& [key, value] : R.Object(Registers, "registers").items()) {
    Device.Registers.push_back(
        {static_cast<uint8_t>(R.KeyInteger(key, value, "a register number", 0xFF)),
         static_cast<uint8_t>(R.Integer(value, "a register value", 0xFF))});
  }
}

// "conversion" and "refuse_writes" describe parts that only some PMIC models have; on any other
// model they are mistakes, not settings to ignore.
void ReadPmicBehaviour(const BoardFileReader& R, const BoardJson& Entry,
                       const I2cDeviceModel& Model, I2cDeviceConfig& Device) {
  const std::string lacks = "model \"" + std::string(Model.Name) + "\" has no ";
  if (const BoardJson* conversion = FindMember(Entry, "conversion")) {
    if (Model.Pmic == nullptr || !Model.Pmic->Converter) {
      R.Fail(*conversion, lacks + "converter");
    }
    R.Object(*conversion, "conversion");
    R.Keys(*conversion, {"reading", "busy_reads", "busy_ns", "never_finishes"});
    PmicConversionConfig& c = Device.Conversion;
    Optional(R, *conversion, "reading", PmicConverter::ReadingMask, c.Reading);
    Optional(R, *conversion, "busy_reads", U32, c.BusyReads);
    Optional(R, *conversion, "busy_ns", U64, c.BusyNs);
    OptionalFlag(R, *conversion, "never_finishes", c.NeverFinishes);
  }
  if (const BoardJson* refusals = FindMember(Entry, "refuse_writes")) {
    if (Model.Pmic == nullptr || !Model.Pmic->Refusing) {
      R.Fail(*refusals, lacks + "register that refuses writes");
    }
    Device.RefusedWrites = static_cast<uint32_t>(R.Integer(*refusals, "refuse_writes", U32));
  }
}
} // namespace

void ReadPmcFunctionDisable(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config) {
  Config.PmcFunctionDisable = static_cast<uint32_t>(R.Integer(V, "pmc_function_disable", U32));
}

void ReadI2cController(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config) {
  R.Object(V, "i2c_controller");
  R.Keys(V, {"present", "bar0", "bar1", "command", "enable_latency_reads", "enable_latency_ns",
             "bus_hz", "transmit_fifo_depth", "receive_fifo_depth"});
  I2cControllerConfig& c = Config.I2c;
  OptionalFlag(R, V, "present", c.Present);
  Optional(R, V, "bar0", U32, c.Bar0);
  Optional(R, V, "bar1", U32, c.Bar1);
  Optional(R, V, "command", 0xFFFF, c.Command);
  Optional(R, V, "enable_latency_reads", U32, c.EnableLatencyReads);
  Optional(R, V, "enable_latency_ns", U64, c.EnableLatencyNs);
  Optional(R, V, "bus_hz", 10'000'000, c.BusHz);
  const std::pair<const char*, uint32_t*> fifos[] = {
      {"transmit_fifo_depth", &c.TransmitFifoDepth},
      {"receive_fifo_depth", &c.ReceiveFifoDepth},
  };
  for (const auto& [key, field] : fifos) {
    if (const BoardJson* depth = FindMember(V, key)) {
      *field = static_cast<uint32_t>(R.Integer(*depth, key, 256));
      if (*field == 0) {
        R.Fail(*depth, std::string(key) + " must be at least 1");
      }
    }
  }
}

void ReadI2cDevices(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config) {
  for (const BoardJson& entry : R.Array(V, "i2c_devices")) {
    R.Object(entry, "an I2C device");
    R.Keys(entry, {"address", "ten_bit", "model", "registers", "conversion", "refuse_writes"});
    I2cDeviceConfig device;
    OptionalFlag(R, entry, "ten_bit", device.TenBit);
    const I2cDeviceModel& model = ReadModel(R, entry, device);
    ReadAddress(R, entry, model, Config, device);
    if (const BoardJson* registers = FindMember(entry, "registers")) {
      ReadPresets(R, *registers, device);
    }
    ReadPmicBehaviour(R, entry, model, device);
    if (device.Conversion.NeverFinishes) {
      Config.GivenFaults.push_back({"i2c_devices[" + std::to_string(Config.I2cDevices.size()) +
                                        "].conversion.never_finishes",
                                    "true",
                                    FaultPoint{FaultKind::ConversionNeverEnds, device.Address}});
    }
    Config.I2cDevices.push_back(std::move(device));
  }
}

void ReadPunit(const BoardFileReader& R, const BoardJson& V, BoardConfig& Config) {
  R.Object(V, "punit");
  R.Keys(V, {"arbitrated", "host_holds_bus", "grant_delay_ns", "busy_until_ns", "register6"});
  PunitConfig& p = Config.Punit;
  OptionalFlag(R, V, "arbitrated", p.Arbitrated);
  OptionalFlag(R, V, "host_holds_bus", p.HostHoldsBus);
  Optional(R, V, "grant_delay_ns", U64, p.GrantDelayNs);
  Optional(R, V, "busy_until_ns", U64, p.BusyUntilNs);
  Optional(R, V, "register6", U32, p.Register6);
}

void ReadPmicBusFaults(const BoardFileReader& R, const BoardJson& Faults, BoardConfig& Config) {
  if (const BoardJson* dead = FindMember(Faults, "i2c_never_acknowledges")) {
    for (const BoardJson& address : R.Array(*dead, "i2c_never_acknowledges")) {
      I2cDeviceConfig* device = FindDevice(Config, R.Integer(address, "address", 0x3FF));
      if (device == nullptr) {
        R.Fail(address, "no device in i2c_devices at this address");
      }
      device->NeverAcknowledges = true;
    }
  }
  for (const auto& [address, from] :
       R.KeyPairs(Faults, "i2c_stops_acknowledging", "a device that stops acknowledging", "address",
                  "from_transfer")) {
    I2cDeviceConfig* device = FindDevice(Config, R.Integer(*address, "address", 0x3FF));
    if (device == nullptr) {
      R.Fail(*address, "no device in i2c_devices at this address");
    }
    device->StopsAcknowledgingFrom = static_cast<uint32_t>(R.Integer(*from, "from_transfer", U32));
  }
  Optional(R, Faults, "i2c_bus_stalled_from_byte", U32, Config.I2c.StallFromByte);
  OptionalFlag(R, Faults, "i2c_controller_stays_active", Config.I2c.StaysActive);
  OptionalFlag(R, Faults, "i2c_controller_never_enables", Config.I2c.NeverEnables);
  OptionalFlag(R, Faults, "i2c_bus_stalled", Config.I2c.Stalled);
  if (const BoardJson* byte = FindMember(Faults, "i2c_abort_on_byte")) {
    if (const auto n = static_cast<uint32_t>(R.Integer(*byte, "i2c_abort_on_byte", U32)); n != 0) {
      Config.I2c.AbortOnBytes.push_back(n);
    }
  }
  OptionalFlag(R, Faults, "semaphore_never_granted", Config.Punit.NeverGrants);
}

} // namespace sim
