// GDB's remote protocol with the target behind it faked: packets in, replies and actions out,
// and the framing of a byte stream into packets.
#include "emu/GdbProtocol.h"
#include "emu/GdbPacket.h"

#include <gtest/gtest.h>

#include <map>
#include <span>

namespace {

using emu::gdb::BreakKind;
using emu::gdb::Resume;

// Two 4-byte registers, RAM at 0x1000-0x100F, and a log of what was asked of it.
class FakeTarget : public emu::gdb::Target {
public:
  std::string Log;
  std::vector<uint8_t> Ram = std::vector<uint8_t>(16, 0xAB);
  std::string Description() override { return "<target>0123456789</target>"; }
  std::vector<uint8_t> Registers() override { return {1, 0, 0, 0, 2, 0, 0, 0}; }
  bool WriteRegisters(std::span<const uint8_t> Block) override {
    Log += "G" + std::to_string(Block.size());
    return Block.size() == 8;
  }
  std::optional<std::vector<uint8_t>> Register(unsigned Number) override {
    return Number < 2 ? std::optional(std::vector<uint8_t>{uint8_t(Number + 1), 0, 0, 0})
                      : std::nullopt;
  }
  bool WriteRegister(unsigned Number, std::span<const uint8_t> Value) override {
    Log += "P" + std::to_string(Number) + "=" + std::to_string(Value[0]);
    return Number < 2;
  }
  bool ReadMemory(uint64_t Address, std::span<uint8_t> Bytes) override {
    if (Address < 0x1000 || Address + Bytes.size() > 0x1010) {
      return false;
    }
    std::copy_n(Ram.begin() + (Address - 0x1000), Bytes.size(), Bytes.begin());
    return true;
  }
  bool WriteMemory(uint64_t Address, std::span<const uint8_t> Bytes) override {
    if (Address < 0x1000 || Address + Bytes.size() > 0x1010) {
      return false;
    }
    std::copy(Bytes.begin(), Bytes.end(), Ram.begin() + (Address - 0x1000));
    return true;
  }
  bool InsertBreak(BreakKind Kind, uint64_t Address, uint64_t Length) override {
    Log += "Z" + std::to_string(int(Kind)) + "@" + std::to_string(Address) + "/" +
           std::to_string(Length);
    return Kind != BreakKind::Read;
  }
  bool RemoveBreak(BreakKind Kind, uint64_t Address, uint64_t) override {
    Log += "z" + std::to_string(int(Kind)) + "@" + std::to_string(Address);
    return true;
  }
  std::string Monitor(std::string_view Command) override {
    return Command == "quiet" ? "" : "said " + std::string(Command) + "\n";
  }
  std::string StopReply() override { return "S05"; }
  std::optional<uint64_t> SymbolOffset() override { return 0x7FFF20; }
};

struct Case {
  std::string Packet;
  std::optional<std::string> Reply;
  Resume Action = Resume::None;
  std::string Log = {};      // what the target was asked, if anything
  std::string RamAfter = {}; // the first four bytes of RAM, when the packet writes them
};

void ExpectAnswers(std::span<const Case> Cases) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Packet);
    FakeTarget target;
    const emu::gdb::Outcome outcome = emu::gdb::Handle(target, c.Packet);
    EXPECT_EQ(outcome.Reply, c.Reply);
    EXPECT_EQ(outcome.Action, c.Action);
    EXPECT_EQ(target.Log, c.Log);
    if (!c.RamAfter.empty()) {
      EXPECT_EQ(emu::gdb::ToHex(std::span(target.Ram).first(4)), c.RamAfter);
    }
  }
}

TEST(GdbProtocolTest, AnswersEachPacket) {
  const Case cases[] = {
      {"?", "S05"},
      {"g", "0100000002000000"},
      {"G0100000003000000", "OK", Resume::None, "G8"},
      {"G01", "E16", Resume::None, "G1"},
      {"Gxyz", "E01"},
      {"p1", "02000000"},
      {"p20", "E16"},
      {"P0=07000000", "OK", Resume::None, "P0=7"},
      {"P0", "E01"},
      {"m1000,4", "abababab"},
      {"m0,4", "E0e"},          // not RAM
      {"m1000,1000000", "E01"}, // longer than a packet
      {"m1000", "E01"},
      {"M1000,2:0102", "OK", Resume::None, "", "0102abab"},
      {"M1000,2:01", "E01"}, // fewer bytes than it says
      {"X1000,3:$#}", "OK", Resume::None, "", "24237dab"},
      {"M2000,1:00", "E0e"},
      {"Z0,401000,1", "OK", Resume::None, "Z0@4198400/1"},
      {"Z1,401000,1", "OK", Resume::None, "Z1@4198400/1"},
      {"Z2,1000,4", "OK", Resume::None, "Z2@4096/4"},
      {"Z3,1000,4", "E16", Resume::None, "Z3@4096/4"}, // refused by the target
      {"z4,1000,4", "OK", Resume::None, "z4@4096"},
      {"Z9,1000,4", ""}, // a kind not offered
      {"Z0,zz,1", "E01"},
      {"Z", "E01"},
      {"c", std::nullopt, Resume::Continue},
      {"s", std::nullopt, Resume::Step},
      {"c1000", "E01"}, // resuming elsewhere is not offered
      {"bs", std::nullopt, Resume::ReverseStep},
      {"bc", std::nullopt, Resume::ReverseContinue},
      {"bc1000", ""},
      {"b9600", ""},
      {"C05", std::nullopt, Resume::Continue},
      {"vCont?", "vCont;c;C;s;S"},
      {"vCont;s:1;c", std::nullopt, Resume::Step},
      {"vCont;c", std::nullopt, Resume::Continue},
      {"vCont;x", "E01"},
      {"D", "OK", Resume::Detach},
      {"k", std::nullopt, Resume::Kill},
      {"vKill;1", "OK", Resume::Kill},
      {"qSupported:multiprocess+", "PacketSize=1000;qXfer:features:read+;swbreak+;hwbreak+;"
                                   "vContSupported+;ReverseStep+;ReverseContinue+"},
      {"qXfer:features:read:target.xml:0,10", "m<target>01234567"},
      {"qXfer:features:read:target.xml:10,100", "l89</target>"},
      {"qXfer:features:read:target.xml:100,10", "l"},
      {"qXfer:features:read:other.xml:0,10", "E00"},
      {"qRcmd,74696d65", "736169642074696d650a"}, // "time" -> "said time\n"
      {"qRcmd,7175696574", "OK"},                 // no output
      {"qRcmd,7", "E01"},
      {"qAttached", "1"},
      {"qOffsets", "Text=7fff20;Data=7fff20;Bss=7fff20"},
      {"qfThreadInfo", "m1"},
      {"Hg0", "OK"},
      {"qTStatus", ""},
      {"", ""},
      {"\x7f\x01", ""},
  };
  ExpectAnswers(cases);
}

// A length or number from the wire is checked before the target sees it: nothing is sized by a
// length a debugger may not ask for, and no register number wraps onto another. The error reply
// leaves the run going.
TEST(GdbProtocolTest, WireNumbersAreCheckedBeforeTheTargetSeesThem) {
  const Case cases[] = {
      {"Z2,600000,ffffffffffffffff", "E16"},
      {"Z3,600000,100000000", "E16"},
      {"Z4,1000,1001", "E16"},
      {"Z2,1000,0", "E16"},
      {"z2,1000,ffffffffffffffff", "E16"},
      {"Z2,1000,1000", "OK", Resume::None, "Z2@4096/4096"}, // the longest range watched
      {"p100000000", "E16"},                                // not register 0
      {"P100000001=07000000", "E16"},                       // not register 1
      {"pffffffffffffffff", "E16"},
  };
  ExpectAnswers(cases);
  // Bytes that make no packet are not held, and a packet that grows past the limit is dropped,
  // however much of either arrives.
  emu::gdb::PacketReader reader;
  const std::string noise(4096, 'n');
  for (int chunk = 0; chunk < 256; ++chunk) {
    reader.Feed(noise);
  }
  EXPECT_EQ(reader.Held(), 0u);
  reader.Feed("$");
  for (int chunk = 0; chunk < 256; ++chunk) {
    reader.Feed(noise);
    EXPECT_LE(reader.Held(), emu::gdb::PacketReader::MaxPacket);
  }
  reader.Feed("$?#3f");
  std::optional<emu::gdb::Received> last;
  while (const auto next = reader.Next()) {
    last = next;
  }
  ASSERT_TRUE(last);
  EXPECT_EQ(last->Payload, "?");
}

TEST(GdbProtocolTest, FramesAndUnframesPackets) {
  EXPECT_EQ(emu::gdb::Frame("OK"), "$OK#9a");
  EXPECT_EQ(emu::gdb::Frame("a$b"), "$a}\x04"
                                    "b#44");

  using Kind = emu::gdb::Received::Kind;
  emu::gdb::PacketReader reader;
  // Acknowledgements and noise, a packet with an escape, a bad checksum, the interrupt byte,
  // and a packet split across two reads.
  reader.Feed("+-junk$m10,4#2e$a}\x04"
              "b#44$g#00\x03$q");
  const std::vector<std::pair<Kind, std::string>> expected = {
      {Kind::Packet, "m10,4"}, {Kind::Packet, "a$b"}, {Kind::BadPacket, ""}, {Kind::Interrupt, ""}};
  for (const auto& [kind, payload] : expected) {
    const auto received = reader.Next();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->What, kind);
    EXPECT_EQ(received->Payload, payload);
  }
  EXPECT_FALSE(reader.Next());
  reader.Feed("C#b4");
  const auto last = reader.Next();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->Payload, "qC");
  // A packet that never ends is dropped rather than held.
  reader.Feed("$" + std::string(emu::gdb::PacketReader::MaxPacket + 1, 'x'));
  EXPECT_EQ(reader.Next()->What, Kind::BadPacket);
  EXPECT_FALSE(reader.Next());
}

} // namespace
