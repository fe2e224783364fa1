#include "emu/LinkerMap.h"
#include "emu/PeImage.h"

#include <gtest/gtest.h>

namespace {

// An excerpt in the layout lld-link writes with /lldmap.
constexpr std::string_view Excerpt =
    "Address  Size     Align Out     In      Symbol\n"
    "00000220 00000278  4096 .text\n"
    "00000220 00000000     4         obj/gpio/ConfigureSocGpio.obj:(.text)\n"
    "000002e0 00000058     1         obj/entry/ModuleEntry.obj:(.text)\n"
    "000002e0 00000000     0                 _ModuleEntry\n"
    "000004a0 00000ec4  4096 .rdata\n"
    "000004a0 00000026     2         obj/gpio/ConfigureSocGpio.obj:(.rdata)\n"
    "000004a0 00000000     0                 unsigned short const *const `anonymous "
    "namespace'::LegacyGpioRegisters\n"
    "000004e4 00000237     1         obj/gpio/PadTables.obj:(.rdata)\n"
    "000004e4 00000000     0                 struct PadConfigEntry const *const PadTable1000\n"
    "000004e4 00000000     0                 struct PadConfigEntry const *const PadTable1000\n"
    "00001380 00000018  4096 .reloc\n";

TEST(LinkerMapTest, ReadsPiecesWithTheirSectionAndSymbols) {
  const emu::LinkerMap map = emu::ParseLinkerMap(Excerpt);
  ASSERT_EQ(map.Pieces.size(), 4u);
  EXPECT_EQ(map.Pieces[0].OutputSection, ".text");
  EXPECT_EQ(map.Pieces[0].Input, "obj/gpio/ConfigureSocGpio.obj:(.text)");
  EXPECT_EQ(map.Pieces[0].Size, 0u);
  EXPECT_TRUE(map.Pieces[0].Symbols.empty());
  EXPECT_EQ(map.Pieces[1].Rva, 0x2E0u);
  EXPECT_EQ(map.Pieces[1].Symbols, std::vector<std::string>{"_ModuleEntry"});
  EXPECT_EQ(map.Pieces[2].OutputSection, ".rdata");
  EXPECT_EQ(map.Pieces[2].Size, 0x26u);
  EXPECT_EQ(map.Pieces[3].Rva, 0x4E4u);
  EXPECT_EQ(map.Pieces[3].Size, 0x237u);
  EXPECT_EQ(map.Pieces[3].Symbols.size(), 2u);
}

TEST(LinkerMapTest, FindsSymbolsByTheirPrintedName) {
  const emu::LinkerMap map = emu::ParseLinkerMap(Excerpt);
  EXPECT_EQ(map.FindSymbol("_ModuleEntry"), 0x2E0u);
  EXPECT_EQ(map.FindSymbol("ModuleEntry"), std::nullopt);
  EXPECT_EQ(map.FindSymbol("struct PadConfigEntry const *const PadTable1000"), 0x4E4u);
}

TEST(LinkerMapTest, ShortNamesDropTypesAndNamespaces) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"_ModuleEntry", "ModuleEntry"},
      {"struct PadConfigEntry const *const PadTable1000", "PadTable1000"},
      {"unsigned short const *const `anonymous namespace'::LegacyGpioRegisters",
       "LegacyGpioRegisters"},
      {"struct `anonymous namespace'::PullPattern const *const `anonymous "
       "namespace'::PullPatterns",
       "PullPatterns"},
  };
  for (const auto& [printed, name] : cases) {
    EXPECT_EQ(emu::ShortSymbolName(printed), name);
  }
}

TEST(LinkerMapTest, RefusesTextThatIsNotAnLldMap) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "not an lld map: first line is not the column header"},
      {" Timestamp is 00000000\n", "not an lld map: first line is not the column header"},
      {"Address  Size     Align Out     In      Symbol\nxyz\n", "not an lld map: line 2: 'xyz'"},
      {"Address  Size     Align Out     In      Symbol\n00000220 00000278  4096     \n",
       "not an lld map: line 2: '00000220 00000278  4096     '"},
      {"Address  Size     Align Out     In      Symbol\n"
       "000002e0 00000000     0                 _ModuleEntry\n",
       "not an lld map: symbol before any section, line 2"},
  };
  for (const auto& [text, message] : cases) {
    try {
      emu::ParseLinkerMap(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const emu::ImageError& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
}

} // namespace
