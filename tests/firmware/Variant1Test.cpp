#include "pmic/PmicDescriptor.h"
#include "pmic/Variant1Tables.h"
#include "sim/Mends.h"
#include "support/CsvData.h"
#include "support/PmicBoardFixture.h"
#include "support/PmicVariantRows.h"
#include "support/ScriptedRegister.h"

#include <functional>
#include <map>

using namespace testsupport;

namespace {

const PmicDescriptor& V1 = PmicVariant1;
const auto R = [](uint8_t Register, uint8_t Value) { return Rd(0x6E, Register, Value); };
const auto W = [](uint8_t Register, uint8_t Value) { return Wr(0x6E, Register, Value); };
const auto AuxW = [](uint8_t Register, uint8_t Value) { return Wr(0x5E, Register, Value); };

// GetActivePmic on a board with nothing at 0x34, 0x5E holding Aux0 in register 0x00 and the
// primary device answering Id.
std::vector<std::string> Selection(uint8_t Id, uint8_t Aux0 = 0) {
  return EachLocked({RdFailed(0x34, 0x03), Rd(0x5E, 0x00, Aux0), R(0x00, Id)});
}

// One call on a fresh board: the primary device at 0x6E with Registers (none fitted when
// Fitted is false), an auxiliary register file at 0x5E, and nothing at 0x34.
struct Call {
  const char* Name;
  std::vector<sim::I2cRegisterValue> Registers;
  std::function<uint32_t()> Call;
  uint32_t Result;
  std::vector<std::string> Events;
  bool Fitted = true;
};

class Variant1Test : public PmicBoardTest {
protected:
  void Board(std::vector<sim::I2cRegisterValue> Primary, bool Fitted = true) {
    Config.I2cDevices.clear();
    if (Fitted) {
      Fit(0x6E, "register-file", std::move(Primary));
      Fit(0x5E, "register-file");
    }
    Install();
  }
  void Run(const std::vector<Call>& Rows) {
    for (const Call& row : Rows) {
      SCOPED_TRACE(row.Name);
      Board(row.Registers, row.Fitted);
      EXPECT_EQ(row.Call(), row.Result);
      EXPECT_EQ(Events(false, 50), row.Events);
    }
  }
  uint8_t Primary(uint8_t Register) const {
    soc->I2c.Drain();
    return soc->RegisterFileDevice(0x6E)->Peek(Register);
  }
  // Every write to Device, in order, as register and value.
  std::vector<std::pair<uint8_t, uint8_t>> Writes(uint16_t Device) const {
    std::vector<std::pair<uint8_t, uint8_t>> out;
    for (const auto& t : sim::decode::DecodeBus(soc->Bus.GetTrace().Accesses()).I2c) {
      if (!t.Read && t.Device == Device && t.HasValue) {
        out.emplace_back(t.Register, t.Value);
      }
    }
    return out;
  }
};

const auto Identity = IdentityOf<PmicVariant1>;
const auto S1 = StatusOf<PmicVariant1, &PmicDescriptor::GetStatus1>;
const auto S2 = StatusOf<PmicVariant1, &PmicDescriptor::GetStatus2>;
const auto S3 = StatusOf<PmicVariant1, &PmicDescriptor::GetStatus3>;

TEST_F(Variant1Test, DetectAloneHoldsTheSemaphore) {
  std::vector<Call> rows = {
      {"no device", {}, V1.Detect, 0, Locked({{RdFailed(0x6E, 0x00)}}), false},
      {"identity", {{0x00, 0x1F}, {0x01, 0xB1}}, Identity, 0x1FB1, {R(0x00, 0x1F), R(0x01, 0xB1)}},
  };
  for (const uint8_t id : {0x00, 0x1F, 0x2B, 0x2C, 0x41}) {
    rows.push_back(
        {"code", {{0x00, id}}, V1.Detect, id != 0x2C && id != 0x41, Locked({{R(0x00, id)}})});
  }
  Run(rows);
}

TEST_F(Variant1Test, StatusAndFlagReaders) {
  Run({
      {"status 1", {{0x22, 0xF5}}, S1, 0x05, {R(0x22, 0xF5)}},
      {"status 2", {{0x20, 0xFF}, {0x21, 0xFF}}, S2, 0x7E07, {R(0x20, 0xFF), R(0x21, 0xFF)}},
      {"status 2 outside", {{0x20, 0x81}, {0x21, 0xF8}}, S2, 0, {R(0x20, 0x81), R(0x21, 0xF8)}},
      {"status 2 one each",
       {{0x20, 0x02}, {0x21, 0x04}},
       S2,
       0x204,
       {R(0x20, 0x02), R(0x21, 0x04)}},
      {"status 3", {{0x03, 0xFD}}, S3, 0x05, {R(0x03, 0xFD)}},
      // The pointer is tested after the read for status 1 and 3, before any read for status 2.
      {"status 1 null",
       {},
       [] { return V1.GetStatus1(nullptr); },
       EFI_INVALID_PARAMETER,
       {R(0x22, 0)}},
      {"status 2 null", {}, [] { return V1.GetStatus2(nullptr); }, EFI_INVALID_PARAMETER, {}},
      {"status 3 null",
       {},
       [] { return V1.GetStatus3(nullptr); },
       EFI_INVALID_PARAMETER,
       {R(0x03, 0)}},
      {"flag 1", {{0x1E, 0x04}}, V1.GetFlag1, 1, {R(0x1E, 0x04)}},
      {"flag 2", {{0x1E, 0xFD}}, V1.GetFlag2, 0, {R(0x1E, 0xFD)}},
      {"flag 3", {{0x1E, 0x01}}, V1.GetFlag3, 1, {R(0x1E, 0x01)}},
      {"flag 4 set", {{0x27, 0x20}}, V1.GetFlag4, 0, {R(0x27, 0x20)}},
      {"flag 4 clear", {{0x27, 0xDF}}, V1.GetFlag4, 1, {R(0x27, 0xDF)}},
      {"clear 2", {}, V1.ClearStatus2, EFI_SUCCESS, {W(0x20, 0xFF), W(0x21, 0xFF)}},
      {"clear 1", {}, V1.ClearStatus1, EFI_SUCCESS, {W(0x22, 0xFF)}},
  });
}

TEST_F(Variant1Test, SelectorNibbleIsHandedOutAndCleared) {
  uint8_t selector = 0;
  Run({
      {"get",
       {{0x26, 0x2F}},
       [&] { return V1.GetSelector(&selector); },
       EFI_SUCCESS,
       {R(0x26, 0x2F), W(0x26, 0x20)}},
      {"set",
       {{0x26, 0x2F}},
       [] { return V1.SetSelector(0x15); },
       EFI_SUCCESS,
       {R(0x26, 0x2F), W(0x26, 0x25)}},
  });
  EXPECT_EQ(selector, 0x0F);
}

TEST_F(Variant1Test, TableStepsAndPinsKeepTheBitsTheyDoNotOwn) {
  // Pins: bits 0-6 of the first register and 0-4 of the second take the record's values.
  Run({{"pins",
        {{0x2B, 0x80},
         {0x33, 0x20},
         {0x2C, 0x7F},
         {0x34, 0x1F},
         {0x32, 0xFF},
         {0x3A, 0xFF},
         {0x3B, 0x00},
         {0x43, 0xC0}},
        V1.InitStep2,
        EFI_SUCCESS,
        {R(0x2B, 0x80), W(0x2B, 0x9E), R(0x33, 0x20), W(0x33, 0x2E), R(0x2C, 0x7F), W(0x2C, 0x1E),
         R(0x34, 0x1F), W(0x34, 0x0E), R(0x32, 0xFF), W(0x32, 0x9E), R(0x3A, 0xFF), W(0x3A, 0xEE),
         R(0x3B, 0x00), W(0x3B, 0x5E), R(0x43, 0xC0), W(0x43, 0xCE)}},
       // Rows 4 to 7 read their registers and write nothing.
       {"step 4",
        {{0xB4, 0xFF},
         {0xB5, 0x08},
         {0xB6, 0xF7},
         {0xB7, 0x5A},
         {0xB8, 0x5A},
         {0xB9, 0x5A},
         {0xBA, 0x5A},
         {0x14, 0xF0}},
        V1.InitStep4,
        EFI_SUCCESS,
        {R(0xB4, 0xFF), W(0xB4, 0xF7), R(0xB5, 0x08), W(0xB5, 0x00), R(0xB6, 0xF7), W(0xB6, 0xF7),
         R(0xB7, 0x5A), R(0xB8, 0x5A), R(0xB9, 0x5A), R(0xBA, 0x5A), R(0x14, 0xF0),
         W(0x14, 0xF7)}}});

  std::vector<sim::I2cRegisterValue> all;
  for (int reg = 0; reg < 256; ++reg) {
    all.push_back({static_cast<uint8_t>(reg), 0xAB});
  }
  Board(all);
  EXPECT_EQ(V1.InitStep3(), EFI_SUCCESS);
  const std::vector<std::pair<uint8_t, uint8_t>> step3 = {
      {0x19, 0xFF}, {0x1A, 0xFF}, {0x1B, 0xFF}, {0x1C, 0xFF}, {0x15, 0xFF}, {0x16, 0xBF},
      {0x17, 0xAA}, {0x18, 0xAA}, {0x0F, 0xA8}, {0x10, 0xA8}, {0x0E, 0xB9}, {0x11, 0xFF},
      {0x12, 0xAF}, {0x13, 0xBF}, {0x0B, 0xFF}, {0x0C, 0xFF}};
  EXPECT_EQ(Writes(0x6E), step3);
  EXPECT_TRUE(sim::decode::DecodeBus(soc->Bus.GetTrace().Accesses()).Holds.empty());
}

// The steps' tables hold the PMIC's update rows exactly. The step tests look at a few rows each,
// and a wrong mask shows only on a register that starts with the masked bits set.
TEST(Variant1Tables, HoldThePmicsUpdateRowsAsTranscribed) {
  struct Table {
    const char* Name;
    const PmicRegisterUpdate* Rows;
    size_t Count;
  };
  const Table tables[] = {
      {"Variant1Step1Table", Variant1Step1Table, std::size(Variant1Step1Table)},
      {"Variant1Step1Table1F", Variant1Step1Table1F, std::size(Variant1Step1Table1F)},
      {"Variant1Step3Table", Variant1Step3Table, std::size(Variant1Step3Table)},
      {"Variant1Step4Table", Variant1Step4Table, std::size(Variant1Step4Table)},
      {"Variant1Step5Table", Variant1Step5Table, std::size(Variant1Step5Table)},
  };
  const auto reference = ReadCsv("firmware/variant1-updates.csv");
  for (const Table& table : tables) {
    SCOPED_TRACE(table.Name);
    std::vector<std::vector<uint32_t>> expected, actual;
    for (const std::vector<std::string>& cells : reference) {
      if (cells.at(0) == table.Name) {
        expected.push_back(
            {Number(cells.at(2)), Number(cells.at(3)), Number(cells.at(4)), Number(cells.at(5))});
      }
    }
    for (size_t row = 0; row < table.Count; ++row) {
      const PmicRegisterUpdate& update = table.Rows[row];
      actual.push_back({update.Register, update.Operation, update.Mask, update.Value});
    }
    EXPECT_EQ(actual, expected);
  }
}

// What applying Table to 0x6E looks like, from registers that read Start (0 elsewhere), or with
// every read failing: then only the rows whose value does not carry the old one are written, to a
// device that no longer acknowledges.
std::vector<std::string> TableSteps(const PmicRegisterUpdate* Table, size_t Count,
                                    std::map<uint8_t, uint8_t> Start, bool ReadsFail) {
  std::vector<std::string> steps;
  for (size_t row = 0; row < Count; ++row) {
    const PmicRegisterUpdate& u = Table[row];
    const uint8_t old = Start[u.Register];
    steps.push_back(ReadsFail ? RdFailed(0x6E, u.Register) : R(u.Register, old));
    if (u.Mask == 0 || u.Operation > UpdateClear) {
      continue;
    }
    const uint8_t masked = u.Mask & u.Value;
    const uint8_t values[] = {
        static_cast<uint8_t>(masked | (old & ~u.Mask)), static_cast<uint8_t>(old & masked),
        static_cast<uint8_t>(old | masked), static_cast<uint8_t>(old & ~u.Mask)};
    if (!ReadsFail) {
      steps.push_back(W(u.Register, Start[u.Register] = values[u.Operation]));
    } else if (u.Operation == UpdateMasked && u.Mask == 0xFF) {
      steps.push_back(W(u.Register, u.Value)); // queued before the refusal shows
    }
  }
  return steps;
}

// The sweep's write check expects the writes stated for a fault from the same data the module
// uses: the 13-row table where the code stays 0, and the auxiliary set-up of an identification or
// revision read as 0xFF (register 0xDC, then the 0xF9 sequence).
TEST(Variant1Tables, TheWriteCheckExpectsTheWritesStatedForAFault) {
  std::map<uint16_t, std::vector<std::pair<uint8_t, uint8_t>>> expected;
  for (const sim::MendExpect* rule : sim::MendRules("pmic-writes")) {
    EXPECT_TRUE(expected.emplace(rule->Device, rule->Writes).second) << rule->Device;
  }
  std::vector<std::pair<uint8_t, uint8_t>> table;
  for (const PmicRegisterUpdate& row : Variant1Step1Table) {
    ASSERT_EQ(row.Mask, 0xFF); // whole-register rows: written whatever the reads gave
    table.emplace_back(row.Register, row.Value);
  }
  std::vector<std::pair<uint8_t, uint8_t>> auxiliary = {{0xDC, 0x0C}};
  for (const uint8_t byte : Variant1AuxSequenceF9) {
    auxiliary.emplace_back(0xF9, byte);
  }
  EXPECT_EQ(expected, (std::map<uint16_t, std::vector<std::pair<uint8_t, uint8_t>>>{
                          {0x6E, table}, {0x5E, auxiliary}}));
}

// The table follows the identification of whichever variant is active, asked through that
// variant's own GetIdentity: a selection for the slot test, one for the test of the descriptor
// pointer and one for the call. With the fallback active (no GetIdentity, at the slot test or at
// the call) the code stays 0, which takes the 13-row table.
TEST_F(Variant1Test, StepOneTableFollowsTheActiveVariantsIdentity) {
  const std::vector<std::string> lost =
      EachLocked({RdFailed(0x34, 0x03), Rd(0x5E, 0x00, 0), RdFailed(0x6E, 0x00)});
  const auto table = [](uint8_t Id, bool ReadsFail) {
    return Id == 0x1F ? TableSteps(Variant1Step1Table1F, std::size(Variant1Step1Table1F),
                                   {{0x00, Id}}, ReadsFail)
                      : TableSteps(Variant1Step1Table, std::size(Variant1Step1Table), {{0x00, Id}},
                                   ReadsFail);
  };
  const std::vector<std::string> v5 = Locked({{Rd(0x34, 0x03, 0x41)}});
  struct Case {
    const char* Name;
    bool Variant5;
    uint8_t Id;
    uint32_t StopsFrom; // 0x6E answers no address phase from this one on; 0: always
    std::vector<std::string> Steps;
  };
  const auto identity = [](uint8_t Id) { return std::vector{R(0x00, Id), R(0x01, 0)}; };
  const Case cases[] = {
      {"fallback from the start", false, 0x41, 0, Concat({Selection(0x41), table(0, false)})},
      {"variant 5 answers 0x41", true, 0x2B, 0, Concat({v5, v5, v5, v5, v5})},
      {"variant 1, 0x2B", false, 0x2B, 0,
       Concat({Selection(0x2B), Selection(0x2B), Selection(0x2B), identity(0x2B),
               table(0x2B, false)})},
      {"variant 1, 0x1F", false, 0x1F, 0,
       Concat({Selection(0x1F), Selection(0x1F), Selection(0x1F), identity(0x1F),
               table(0x1F, false)})},
      {"0x6E gone at the slot test", false, 0x2B, 1, Concat({lost, table(0, true)})},
      {"0x6E gone by the pointer test", false, 0x2B, 3,
       Concat({Selection(0x2B), lost, lost, table(0, true)})},
      {"0x6E gone by the call", false, 0x2B, 5,
       Concat({Selection(0x2B), Selection(0x2B), lost, table(0, true)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    if (c.Variant5) {
      Fit(0x34, "pmic-variant5");
    }
    Fit(0x6E, "register-file", {{0x00, c.Id}});
    Config.I2cDevices.back().StopsAcknowledgingFrom = c.StopsFrom;
    Fit(0x5E, "register-file");
    Install();
    EXPECT_EQ(V1.InitStep1(), EFI_SUCCESS);
    EXPECT_EQ(Events(false), c.Steps);
  }
}

TEST_F(Variant1Test, StepFiveDependsOnIdentificationAndRevision) {
  struct Case {
    uint8_t Id;
    uint8_t Revision;
    uint8_t Register23;
    std::vector<std::string> Auxiliary;
  };
  const std::vector<std::string> f9 = {AuxW(0xF9, 0x03), AuxW(0xF9, 0x0B), "wait 100 us"};
  const Case cases[] = {
      {0x00, 0x00, 0xC7, {AuxW(0xDC, 0x0C), Rd(0x5E, 0xDC, 0x0C)}},
      {0x2B, 0xB1, 0xC7, {AuxW(0xE0, 0x0C), Rd(0x5E, 0xE0, 0x0C)}},
      {0x1F, 0xB0, 0xCB, {AuxW(0xDC, 0x0C), Rd(0x5E, 0xDC, 0x0C)}},
      {0x1F, 0xB1, 0xCB, Concat({{AuxW(0xDC, 0x0C), Rd(0x5E, 0xDC, 0x0C)}, f9})},
      {0x1F, 0xFF, 0xCB, Concat({{AuxW(0xDC, 0x0C), Rd(0x5E, 0xDC, 0x0C)}, f9})},
  };
  Config.Punit.Register6 = 0x00000201;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.Id} << "/" << int{c.Revision});
    Board({{0x00, c.Id}, {0x01, c.Revision}});
    EXPECT_EQ(V1.InitStep5(), EFI_SUCCESS);
    EXPECT_EQ(Primary(0x23), c.Register23);
    // After the 11-row table and the identity, the auxiliary device's configuration asks for the
    // identity again.
    const std::vector<std::string> events = Events(false, 50);
    const size_t tail = 22 + 2 + (c.Register23 == 0xC7 ? 1 : 0);
    const std::vector<std::string> expected =
        Concat({{R(0x00, c.Id), R(0x01, c.Revision)}, c.Auxiliary});
    ASSERT_EQ(events.size(), tail + expected.size());
    EXPECT_EQ(std::vector(events.begin() + tail, events.end()), expected);
    // P-Unit register 6 gains bits 26 and 27, read back once more; no semaphore is taken.
    const sim::decode::BusActivity bus = sim::decode::DecodeBus(soc->Bus.GetTrace().Accesses());
    EXPECT_TRUE(bus.Holds.empty());
    EXPECT_EQ(soc->PUnit.Peek(6), 0x0C000201u);
    ASSERT_EQ(bus.Sideband.size(), 3u);
    EXPECT_EQ(bus.Sideband[1].Value, 0x0C000201u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(bus.Sideband[i].Opcode, i == 1 ? 0x07 : 0x06);
      EXPECT_EQ(bus.Sideband[i].Port, 0x04);
      EXPECT_EQ(bus.Sideband[i].Register, 6u);
    }
  }
}

// Refuses the address phase of its register reads First to Last, counted from 1; answers every
// other one.
class FailsReads : public sim::I2cRegisterFileDevice {
public:
  FailsReads(uint32_t First, uint32_t Last) : first_(First), last_(Last) {}
  bool AddressPhase(bool Read) override {
    const bool acknowledged = I2cRegisterFileDevice::AddressPhase(Read);
    if (!Read) {
      return acknowledged;
    }
    ++reads_;
    return acknowledged && (reads_ < first_ || reads_ > last_);
  }

private:
  uint32_t first_;
  uint32_t last_;
  uint32_t reads_ = 0;
};

// The auxiliary device's set-up reads the identification and the revision again and decodes them
// as read: a failed read gives 0xFF, which names register 0xDC like every code but 0x2B and is a
// late revision. What it writes are constants, so a failed read leaves nothing out.
TEST_F(Variant1Test, AuxiliarySetUpDecodesAFailedReadLikeAnyValue) {
  // InitStep5 reads 11 table registers and the identity twice: the set-up's reads are 14 and 15.
  struct Case {
    const char* Name;
    uint8_t Id;
    uint8_t Revision;
    uint32_t FirstFailed;
    uint32_t LastFailed;
    std::vector<std::string> SetUp;
  };
  const std::vector<std::string> dc = {AuxW(0xDC, 0x0C), Rd(0x5E, 0xDC, 0x0C)};
  const std::vector<std::string> e0 = {AuxW(0xE0, 0x0C), Rd(0x5E, 0xE0, 0x0C)};
  const std::vector<std::string> f9 = {AuxW(0xF9, 0x03), AuxW(0xF9, 0x0B), "wait 100 us"};
  const Case cases[] = {
      {"identification unread, 0x2B", 0x2B, 0xB1, 14, 14,
       Concat({{RdFailed(0x6E, 0x00), R(0x01, 0xB1)}, dc})},
      {"both unread, 0x1F", 0x1F, 0xB1, 14, 15,
       Concat({{RdFailed(0x6E, 0x00), RdFailed(0x6E, 0x01)}, dc})},
      {"revision unread, 0x1F below 0xB1", 0x1F, 0xB0, 15, 15,
       Concat({{R(0x00, 0x1F), RdFailed(0x6E, 0x01)}, dc, f9})},
      {"revision unread, 0x00", 0x00, 0xB1, 15, 15,
       Concat({{R(0x00, 0x00), RdFailed(0x6E, 0x01)}, dc})},
      {"revision unread, 0x2B", 0x2B, 0x00, 15, 15,
       Concat({{R(0x00, 0x2B), RdFailed(0x6E, 0x01)}, e0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    Fit(0x5E, "register-file");
    Install();
    FailsReads primary(c.FirstFailed, c.LastFailed);
    primary.Poke(0x00, c.Id);
    primary.Poke(0x01, c.Revision);
    soc->I2c.Attach(0x6E, false, primary);
    EXPECT_EQ(V1.InitStep5(), EFI_SUCCESS);
    // After the 11-row table, the identity and, for 0x00 and 0x2B, register 0x23.
    const std::vector<std::string> events = Events(false, 50);
    const size_t tail = 22 + 2 + (c.Id == 0x00 || c.Id == 0x2B ? 1 : 0);
    ASSERT_EQ(events.size(), tail + c.SetUp.size());
    EXPECT_EQ(std::vector(events.begin() + tail, events.end()), c.SetUp);
    soc.reset(); // before the device it holds goes
  }
}

TEST_F(Variant1Test, StepSixOnlyForItselfAndIdentification1F) {
  struct Case {
    const char* Name;
    bool Variant5;
    uint8_t Id;
    std::vector<uint8_t> ReadBacks; // of register 0x5F
    EFI_STATUS Result;
    size_t Attempts;
  };
  const Case cases[] = {
      {"variant 5 active", true, 0x1F, {0x80}, EFI_UNSUPPORTED, 0},
      {"identification 0x2B", false, 0x2B, {0x80}, EFI_SUCCESS, 0},
      {"first read-back matches", false, 0x1F, {0x80}, EFI_SUCCESS, 1},
      {"never matches", false, 0x1F, {0x00}, EFI_SUCCESS, 21},
      {"the whole byte is compared", false, 0x1F, {0x81, 0x81, 0x80}, EFI_SUCCESS, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    if (c.Variant5) {
      Fit(0x34, "pmic-variant5");
    }
    Fit(0x5E, "register-file");
    Install();
    ScriptedRegister primary(0x5F, c.ReadBacks);
    primary.Poke(0x00, c.Id);
    soc->I2c.Attach(0x6E, false, primary);
    EXPECT_EQ(V1.InitStep6(), c.Result);
    std::vector<std::string> expected;
    if (c.Variant5) {
      expected = Locked({{Rd(0x34, 0x03, 0x41)}});
    } else {
      expected = Concat({Selection(c.Id), {R(0x00, c.Id), R(0x01, 0)}});
    }
    if (c.Attempts != 0) {
      expected.insert(expected.end(),
                      {AuxW(0xFC, 0x5A), "wait 50 us", AuxW(0xFC, 0xA5), "wait 50 us",
                       AuxW(0xFC, 0x01), "wait 50 us", W(0xF5, 0x50), "wait 50 us"});
    }
    for (size_t i = 0; i < c.Attempts; ++i) {
      expected.insert(expected.end(), {W(0x5F, 0x80), R(0x5F, primary.Answer(i))});
    }
    EXPECT_EQ(Events(false, 50), expected);
    soc.reset(); // before the device it holds goes
  }
}

TEST_F(Variant1Test, VoltageWaitsForTheConversionWithABound) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Control; // reads of 0x72: before the start, then the polls
    uint8_t High;
    uint8_t Low;
    uint32_t Volts;
    size_t Polls;
  };
  const Case cases[] = {
      {"zero", {0x00, 0x01, 0x00}, 0xFC, 0x00, 0, 2},
      {"512", {0xA4, 0x01, 0x01, 0xA4}, 0x02, 0x00, 2502, 3},
      {"full scale", {0x00, 0x00}, 0x03, 0xFF, 5000, 1},
      // A busy bit that never clears ends the wait after 556 polls; the result registers still
      // hold an earlier reading and are not read: full scale.
      {"never done", {0x01}, 0x01, 0x23, 5000, 556},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    Install();
    ScriptedRegister primary(0x72, c.Control);
    primary.Poke(0x80, c.High);
    primary.Poke(0x81, c.Low);
    soc->I2c.Attach(0x6E, false, primary);
    EXPECT_EQ(V1.ReadVoltage(), c.Volts);
    std::vector<std::string> expected = {R(0x72, c.Control[0]), W(0x72, c.Control[0] | 0x01)};
    for (size_t i = 1; i <= c.Polls; ++i) {
      expected.push_back(R(0x72, primary.Answer(i)));
    }
    if (c.Polls < PmicConversionPollLimit) {
      expected.insert(expected.end(), {R(0x80, c.High), R(0x81, c.Low)});
    }
    EXPECT_EQ(Events(false), expected);
    soc.reset();
  }
  // A failed read reads 0xFF. The start is a read-modify-write: a control register that cannot be
  // read is not written (its other bits would go back unread), and nothing else is skipped. In the
  // wait 0xFF is busy, and the wait goes on: the device may answer the next poll.
  struct Faulted {
    const char* Name;
    uint32_t AbortOnByte; // from 1: the start's read takes bytes 1-2, its write 3-4, a poll 2 more
    bool Gone;            // the device answers nothing at all
    std::vector<uint8_t> Control;
    uint32_t Volts;
    std::vector<std::string> Transfers;
  };
  const Faulted faulted[] = {
      {"start unread",
       2,
       false,
       {0x00},
       0x123 * 5000 / 1023,
       {RdFailed(0x6E, 0x72), R(0x72, 0x00), R(0x80, 0x01), R(0x81, 0x23)}},
      {"a poll unanswered",
       6,
       false,
       {0x00, 0x01, 0x00},
       0x123 * 5000 / 1023,
       {R(0x72, 0x00), W(0x72, 0x01), RdFailed(0x6E, 0x72), R(0x72, 0x01), R(0x72, 0x00),
        R(0x80, 0x01), R(0x81, 0x23)}},
      {"device gone",
       0,
       true,
       {0x00},
       5000,
       std::vector<std::string>(1 + PmicConversionPollLimit, RdFailed(0x6E, 0x72))},
  };
  for (const Faulted& c : faulted) {
    SCOPED_TRACE(c.Name);
    Config.I2cDevices.clear();
    Config.I2c.AbortOnBytes.clear();
    if (c.AbortOnByte != 0) {
      Config.I2c.AbortOnBytes.push_back(c.AbortOnByte);
    }
    Install();
    ScriptedRegister primary(0x72, c.Control);
    primary.Poke(0x80, 0x01);
    primary.Poke(0x81, 0x23);
    if (!c.Gone) {
      soc->I2c.Attach(0x6E, false, primary);
    }
    EXPECT_EQ(V1.ReadVoltage(), c.Volts);
    EXPECT_EQ(Events(false), c.Transfers);
    soc.reset();
  }
  Config.I2c.AbortOnBytes = {};
}

// Takes writes and refuses to be read: every read fails, every write reaches the device.
class WriteOnlyDevice : public sim::I2cRegisterFileDevice {
public:
  bool AddressPhase(bool Read) override {
    I2cRegisterFileDevice::AddressPhase(Read);
    return !Read;
  }
};

// With no device on the bus every read gives 0xFF and every write fails (bytes take no bus time
// here, so a write's refused address shows before the write returns). With devices that take
// writes but fail every read, only the writes whose value does not carry bits of a failed read
// (whole-register values) are made.
TEST_F(Variant1Test, EveryTransferFailing) {
  Config.I2c.BusHz = 0;
  uint8_t selector = 0;
  struct Case {
    std::function<uint32_t()> Call;
    uint32_t Result;
    size_t Writes; // made when only reads fail, to either device
  };
  const Case cases[] = {
      {V1.Detect, 0, 0},
      {Identity, 0xFFFF, 0},
      {[] { return V1.ReadRegister(0x12); }, 0xFF, 0},
      {[] { return V1.ReadAuxRegister(0x12); }, 0xFF, 0},
      {[] { return V1.WriteRegister(0x12, 0); }, EFI_DEVICE_ERROR, 1},
      {[] { return V1.WriteAuxRegister(0x12, 0); }, EFI_DEVICE_ERROR, 1},
      {S1, 0x0F, 0},
      {S2, 0x7E07, 0},
      {S3, 0x07, 0},
      {V1.GetFlag1, 1, 0},
      {V1.GetFlag2, 1, 0},
      {V1.GetFlag3, 1, 0},
      {V1.GetFlag4, 0, 0},
      {[&] { return V1.GetSelector(&selector); }, EFI_DEVICE_ERROR, 0},
      {[] { return V1.SetSelector(3); }, EFI_DEVICE_ERROR, 0},
      {V1.ReadVoltage, 5000, 0},       // no conversion started; every poll fails, to the bound
      {V1.InitStep1, EFI_SUCCESS, 13}, // the fallback: code 0, the 13-row table
      {V1.InitStep2, EFI_SUCCESS, 0},
      {V1.InitStep3, EFI_SUCCESS, 8}, // the whole-register rows
      {V1.InitStep4, EFI_SUCCESS, 0},
      {V1.InitStep5, EFI_SUCCESS, 8},     // the whole-register rows, and the auxiliary register
                                          // that 0xFF names (0xDC) takes its constant
      {V1.InitStep6, EFI_UNSUPPORTED, 0}, // the fallback is the active variant
      {V1.ClearStatus1, EFI_SUCCESS, 1},
      {V1.ClearStatus2, EFI_SUCCESS, 2},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Board({}, false);
    EXPECT_EQ(cases[i].Call(), cases[i].Result);

    Board({}, false);
    WriteOnlyDevice primary, auxiliary;
    soc->I2c.Attach(0x6E, false, primary);
    soc->I2c.Attach(0x5E, false, auxiliary);
    cases[i].Call();
    size_t writes = 0;
    for (const auto& t : sim::decode::DecodeBus(soc->Bus.GetTrace().Accesses()).I2c) {
      writes += !t.Read && t.HasValue && !t.Aborted;
    }
    EXPECT_EQ(writes, cases[i].Writes);
    soc.reset(); // before the devices it holds go
  }
  EXPECT_EQ(selector, 0x0F);
}

} // namespace
