#include "sim/BoardFile.h"
#include "sim/FaultOutcome.h"
#include "sim/Soc.h"
#include "sim/faults/FaultKinds.h"
#include "tools/run/HostRun.h"
#include "tools/run/PmicSlots.h"
#include "tools/run/SlotCall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

namespace {

sim::BoardConfig BoardWithPmic() {
  sim::BoardConfig board;
  for (const auto& [address, model] : {std::pair{0x34, "pmic-variant5"}, {0x5E, "pmic-variant6"}}) {
    sim::I2cDeviceConfig device;
    device.Address = static_cast<uint16_t>(address);
    device.Model = model;
    board.I2cDevices.push_back(device);
  }
  board.PadFaults = {{0xFED0C5DC, 3}}; // the board's own: a point may add to it, never heal it
  return board;
}

TEST(FaultPoints, ReadBackAsWrittenAndPutIntoTheBoard) {
  using Check = std::function<bool(const sim::BoardConfig&)>;
  const std::pair<const char*, Check> cases[] = {
      {"byte-refused@12", [](auto& B) { return B.I2c.AbortOnBytes == std::vector<uint32_t>{12}; }},
      {"device-stops-acknowledging:0x34@3",
       [](auto& B) { return B.I2cDevices[0].StopsAcknowledgingFrom == 3; }},
      {"bus-stalled@2", [](auto& B) { return B.I2c.StallFromByte == 2; }},
      {"semaphore-granted-late", [](auto& B) { return B.Punit.LateByNs == sim::LateGrantNs; }},
      {"pad-reads-all-ones:0xFED0C5D8@6",
       [](auto& B) {
         return B.PadFaults.back().Address == 0xFED0C5D8 && B.PadFaults.back().Reads == 6;
       }},
      // Beside the board's own three reads of the same register, not instead of them.
      {"pad-reads-all-ones:0xFED0C5DC@5",
       [](auto& B) { return B.PadFaults.size() == 2 && B.PadFaults.back().Reads == 5; }},
      {"punit-reads-all-ones:0x07@4",
       [](auto& B) {
         return B.Punit.ReadsAllOnes == std::vector<sim::PunitReadFault>{{7, 4}};
       }},
      {"timer-frozen@100", [](auto& B) { return B.PmTimerFrozenFromRead == 100; }},
      {"conversion-never-ends:0x5E",
       [](auto& B) { return B.I2cDevices[1].Conversion.NeverFinishes; }},
      {"verified-write-never-takes:0x5E",
       [](auto& B) { return B.I2cDevices[1].RefusesEveryWrite; }},
      {"hob-zero-length:0", [](auto& B) { return B.Hobs.at(0).HobLengthOverride == 0; }},
  };
  for (const auto& [text, check] : cases) {
    SCOPED_TRACE(text);
    const sim::FaultPoint point = sim::ParseFaultPoint(text);
    EXPECT_EQ(sim::FormatFaultPoint(point), text);
    sim::BoardConfig board = BoardWithPmic();
    sim::ApplyFault(point, board);
    EXPECT_TRUE(check(board));
  }
}

// A point adds to the faults its board already has: both strike. Where the board's own would
// keep it from ever striking, or it from changing anything, it is refused with the reason.
TEST(FaultPoints, AddToTheBoardsOwnFaultsOrSayWhyNot) {
  sim::BoardConfig own = BoardWithPmic();
  own.I2c.AbortOnBytes = {5};
  own.PmTimerFrozenFromRead = 100;
  own.I2cDevices[0].StopsAcknowledgingFrom = 3;
  own.Punit.NeverGrants = true;
  own.Hobs = {{.What = sim::HobEntry::Kind::Other, .HobLengthOverride = 0}};
  const std::pair<const char*, const char*> cases[] = {
      {"byte-refused@10", nullptr},
      {"byte-refused@5", "the board already refuses byte 5"},
      {"bus-stalled@6", nullptr},
      {"bus-stalled@4",
       "the board refuses byte 5, which would never move on a bus stopped before byte 4"},
      {"timer-frozen@50", "the board already freezes the PM timer from read 100"},
      {"device-stops-acknowledging:0x34@5",
       "the device at 0x34 already stops acknowledging from its transfer 3"},
      {"device-stops-acknowledging:0x5E@5", nullptr},
      {"semaphore-granted-late", "the P-Unit never grants the semaphore already"},
      {"hob-length-past-end:0", "the board already gives HOB 0 the length 0"},
      {"punit-reads-all-ones:0x07@4", nullptr},
  };
  for (const auto& [text, refusal] : cases) {
    SCOPED_TRACE(text);
    sim::BoardConfig board = own;
    try {
      sim::ApplyFault(sim::ParseFaultPoint(text), board);
      EXPECT_EQ(refusal, nullptr);
    } catch (const std::invalid_argument& refused) {
      EXPECT_STREQ(refused.what(), refusal);
    }
  }
  sim::BoardConfig both = own;
  sim::ApplyFault(sim::ParseFaultPoint("byte-refused@10"), both);
  sim::ApplyFault(sim::ParseFaultPoint("punit-reads-all-ones:0x07@4"), both);
  EXPECT_EQ(both.I2c.AbortOnBytes, (std::vector<uint32_t>{5, 10}));
  EXPECT_THROW(sim::ApplyFault(sim::ParseFaultPoint("punit-reads-all-ones:0x07@4"), both),
               std::invalid_argument);
}

TEST(FaultPoints, SayWhatIsWrongWithAPoint) {
  const std::pair<const char*, const char*> cases[] = {
      {"bytes-refused@1",
       "unknown fault kind 'bytes-refused' (kinds: byte-refused, device-stops-acknowledging, "
       "controller-never-enables, controller-stays-active, bus-stalled, semaphore-never-granted, "
       "semaphore-granted-late, pad-reads-all-ones, punit-reads-all-ones, timer-frozen, "
       "conversion-never-ends, verified-write-never-takes, hob-zero-length, "
       "hob-length-below-header, hob-length-past-end, hob-no-end-marker, "
       "hob-descriptor-cut-short)"},
      {"byte-refused", "byte-refused needs @WHEN"},
      {"byte-refused@0", "byte-refused: WHEN counts from 1"},
      {"timer-frozen:3@1", "timer-frozen takes no :WHERE"},
      {"bus-stalled@x", "WHEN is not a 32-bit number: 'x'"},
      {"conversion-never-ends:0x34", "the device at 0x34 has no converter"},
      {"device-stops-acknowledging:0x6E@1", "no device at 0x6E on this board"},
      {"pad-reads-all-ones:0x1000@1", "0x1000 is not a register of the pad block"},
      {"punit-reads-all-ones:0x0100@1", "0x0100 is not a P-Unit register (0x00-0xFF)"},
      {"pad-reads-all-ones:0xFED0C5DC@3",
       "the board already returns all ones for the first 3 reads of 0xFED0C5DC"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    sim::BoardConfig board = BoardWithPmic();
    try {
      sim::ApplyFault(sim::ParseFaultPoint(text), board);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& refused) {
      EXPECT_STREQ(refused.what(), message);
    }
  }
}

TEST(FaultPoints, TimerAndDeviceFaultsStrikeAtTheirCount) {
  sim::BoardConfig board;
  board.AcpiBase = 0x0402;
  board.PmTimerFrozenFromRead = 2;
  sim::Soc soc(board);
  const auto read = [&] { return soc.Bus.Read(sim::Space::Port, sim::PmTimerPort, 32); };
  const uint32_t first = read();
  const uint32_t second = read(); // each access moves the clock: the second read has moved on
  soc.Bus.GetClock().Advance(1'000'000);
  EXPECT_NE(first, second);
  EXPECT_EQ(read(), second);

  sim::I2cRegisterFileDevice device;
  device.SetStopsAcknowledgingFrom(3);
  EXPECT_TRUE(device.AddressPhase(false));
  EXPECT_TRUE(device.AddressPhase(true));
  EXPECT_FALSE(device.AddressPhase(false));
  EXPECT_FALSE(device.AddressPhase(true));

  sim::I2cRegisterFileDevice missing; // misses detection's read, answers what follows
  missing.SetMissesFirstTransfers(1);
  EXPECT_FALSE(missing.AddressPhase(false));
  EXPECT_TRUE(missing.AddressPhase(false));
}

// Each sideband read of a P-Unit register that the reference made is a point: on the default board
// three holds of the semaphore, each reading register 7 five times (the acquire's first reading,
// its request's, two grant polls, the release's).
TEST(FaultPoints, EveryPunitReadOfTheReferenceIsAPoint) {
  const sim::BoardConfig board = sim::LoadBoardFile(BOARDINIT_BOARDS_DIR "/default.json");
  sim::Soc soc(board);
  ASSERT_TRUE(tools::RunHostModule(soc.Bus, {.Hobs = board.Hobs}).Status);
  const sim::FaultKind kind[] = {sim::FaultKind::PunitReadsAllOnes};
  std::vector<sim::FaultPoint> expected;
  for (uint32_t read = 1; read <= 15; ++read) {
    expected.push_back({sim::FaultKind::PunitReadsAllOnes, 7, read});
  }
  EXPECT_EQ(sim::EnumerateFaultPoints(board, soc, kind), expected);
}

// Each kind notes where it struck, at or before the first access that went otherwise than in the
// fault-free run; a fault that changed nothing still says where it struck (a HOB the walk stopped
// at), and one that struck after the module's last access is noted past it.
TEST(FaultPoints, EachKindStrikesNoLaterThanItsRunFirstDiffers) {
  struct Case {
    const char* Board;
    const char* Slot; // null: a boot
    const char* Fault;
    bool Changes; // whether the run goes otherwise
  };
  const Case cases[] = {
      {"default", nullptr, "byte-refused@3", true},
      {"default", nullptr, "device-stops-acknowledging:0x34@3", true},
      {"default", nullptr, "controller-never-enables", true},
      {"default", nullptr, "controller-stays-active", true},
      {"default", nullptr, "bus-stalled@3", true},
      {"default", nullptr, "semaphore-never-granted", true},
      {"default", nullptr, "semaphore-granted-late", true},
      {"default", nullptr, "punit-reads-all-ones:0x07@2", true},
      {"default", nullptr, "pad-reads-all-ones:0xFED0D130@1", true},
      {"default", nullptr, "timer-frozen@50", true},
      {"variant6", "ReadVoltage", "conversion-never-ends:0x5E", true},
      {"variant6", "InitStep6", "verified-write-never-takes:0x5E", true},
      {"hob-variant5", nullptr, "hob-descriptor-cut-short:2", true},
      {"default", nullptr, "hob-zero-length:0", false},
      {"default", nullptr, "byte-refused@6", false}, // the last write's byte, never looked after
  };
  // The run's trace, and where Point struck in it.
  const auto run = [](sim::BoardConfig Config, const char* Slot, const sim::FaultPoint& Point,
                      uint64_t& Accesses, std::optional<sim::Strike>& Struck) {
    if (Slot != nullptr) {
      tools::OpenAcpiWindowAsEntryLeavesIt(Config);
    }
    sim::Soc soc(Config);
    if (Slot != nullptr) {
      tools::CallSlotOnHost(soc.Bus, {.Hobs = Config.Hobs},
                            tools::SlotRequest{*tools::FindSlot(Slot), {}});
    } else {
      tools::RunHostModule(soc.Bus, {.Hobs = Config.Hobs});
    }
    soc.RunOver();
    Accesses = soc.Bus.AccessCount();
    Struck = sim::StruckIn(Point, Config, soc.Bus.Strikes());
    return soc.Bus.GetTrace().Accesses();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Fault);
    const sim::BoardConfig board =
        sim::LoadBoardFile(std::string(BOARDINIT_BOARDS_DIR) + "/" + c.Board + ".json");
    sim::BoardConfig faulted = board;
    const sim::FaultPoint point = sim::ParseFaultPoint(c.Fault);
    sim::ApplyFault(point, faulted);
    uint64_t accesses = 0;
    std::optional<sim::Strike> struck;
    const auto reference = run(board, c.Slot, point, accesses, struck);
    EXPECT_FALSE(struck.has_value()); // the fault-free run meets no fault
    const auto trace = run(faulted, c.Slot, point, accesses, struck);
    const auto differs =
        std::mismatch(trace.begin(), trace.end(), reference.begin(), reference.end());
    ASSERT_TRUE(struck.has_value());
    EXPECT_EQ(differs.first != trace.end() || trace.size() != reference.size(), c.Changes);
    if (c.Changes) {
      EXPECT_LE(struck->Access, static_cast<uint64_t>(differs.first - trace.begin()));
    } else if (point.Kind == sim::FaultKind::ByteRefused) {
      EXPECT_EQ(struck->Access, accesses);
    }
  }
}

TEST(FaultOutcome, JudgesEachWriteAgainstTheReference) {
  using sim::AccessOp;
  const auto at = [](uint64_t Seq, AccessOp Op, uint8_t Width, uint32_t Address, uint32_t Value) {
    return sim::Access{Seq, Seq * 100, Op, Width, Address, Value};
  };
  sim::ReferenceWrites reference(
      {at(0, AccessOp::Read, 32, 0xFED0C000, 0x10), at(1, AccessOp::Write, 32, 0xFED0C000, 0x11)});
  const std::vector<sim::Access> faulted = {
      at(0, AccessOp::Read, 32, 0xFED0C000, 0x30),
      at(1, AccessOp::Write, 32, 0xFED0C000, 0x31), // another value, on what was read: sound
      at(2, AccessOp::Write, 32, 0xFED0C010, 0x11), // nowhere the reference writes
      at(3, AccessOp::Read, 32, 0xFED0C000, 0xFFFFFFFF),
      at(4, AccessOp::Write, 32, 0xFED0C000, 0xFFFFFFF1), // on all ones
      at(5, AccessOp::Write, 16, 0xFE95006C, 0),          // the controller switched off: recovery
      at(6, AccessOp::Write, 32, 0xFED0C000, 0x11),       // what the reference writes
  };
  const std::vector<sim::BadWrite> found = reference.Check(faulted);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].Kind, sim::BadWriteKind::Stray);
  EXPECT_EQ(found[0].Seq, 2u);
  EXPECT_EQ(found[1].Kind, sim::BadWriteKind::BuiltOnFailedRead);
  EXPECT_EQ(found[1].Seq, 4u);
  // Another selection's run writes 0xFED0C010: that write is accounted for from then on.
  reference.Add({at(0, AccessOp::Write, 32, 0xFED0C010, 0x11)});
  const std::vector<sim::BadWrite> left = reference.Check(faulted);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].Seq, 4u);
}

// The semaphore's release, whose read got no answer, rebuilds the register from what an earlier
// answered read showed (or from its resting value), grant cleared and request bit set as the
// unanswered read gave it: the table of mends says so. Any other value after that read is still
// built on it, the same bits with the request withdrawn among them.
TEST(FaultOutcome, TheReleaseMayRebuildWhatItCouldNotRead) {
  using sim::AccessOp;
  constexpr uint32_t Data = 0xE00000D4;
  const auto at = [](uint64_t Seq, AccessOp Op, uint32_t Value) {
    return sim::Access{Seq, Seq * 100, Op, 32, Data, Value};
  };
  const sim::ReferenceWrites reference({at(0, AccessOp::Write, 0x8)});
  const std::pair<uint32_t, size_t> cases[] = {{0x4102, 0}, {0x102, 0},  {0x4100, 1},
                                               {0x100, 1},  {0x4103, 1}, {0x2, 1}};
  for (const auto& [written, bad] : cases) {
    SCOPED_TRACE(written);
    const std::vector<sim::BadWrite> found =
        reference.Check({at(0, AccessOp::Read, 0x4101), at(1, AccessOp::Read, 0xFFFFFFFF),
                         at(2, AccessOp::Write, written)});
    ASSERT_EQ(found.size(), bad);
    if (bad != 0) {
      EXPECT_EQ(found[0].Kind, sim::BadWriteKind::BuiltOnFailedRead);
    }
  }
}

// Every kind is in the table of kinds that docs/run.md gives under FAULTS.
TEST(FaultPoints, EveryKindIsInTheTableOfTheReference) {
  std::ifstream page(std::string(BOARDINIT_DOCS_DIR) + "/run.md");
  const std::string text((std::istreambuf_iterator<char>(page)), {});
  for (const sim::FaultKindInfo& info : sim::FaultKinds()) {
    const std::string row = "\n| `" + std::string(info.Name);
    const size_t at = text.find(row);
    EXPECT_TRUE(at != std::string::npos &&
                std::string("`:@").find(text[at + row.size()]) != std::string::npos)
        << info.Name;
  }
}

} // namespace
