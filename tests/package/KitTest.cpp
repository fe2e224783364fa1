// The integration kit beside the FFS: BoardInit.inf describes the module as the FFS carries it,
// as our reader and UEFIExtract see it, and names files that lie beside it holding what the FFS
// holds; BoardInit.fdf.inc puts that INF into a PEI volume, first to dispatch when the module runs
// before memory.
#include "emu/PeImage.h"
#include "package/Depex.h"
#include "package/Ffs.h"
#include "package/Section.h"
#include "support/UefiExtract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

// An INF as a platform build reads it: its [Defines] and its [Binaries.IA32] (type to file).
struct Inf {
  std::map<std::string, std::string> Defines;
  std::map<std::string, std::string> Binaries;
};

std::string Trimmed(const std::string& Text) {
  const size_t first = Text.find_first_not_of(" \t");
  const size_t last = Text.find_last_not_of(" \t");
  return first == std::string::npos ? "" : Text.substr(first, last - first + 1);
}

// Its lines "NAME = VALUE" and "TYPE|FILE|*"; comments and other lines are not read.
Inf ReadInf(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  Inf inf;
  std::string section;
  for (std::string line; std::getline(in, line);) {
    line = Trimmed(line);
    const size_t equals = line.find('=');
    const size_t bar = line.find('|');
    if (line.starts_with('[')) {
      section = line;
    } else if (section == "[Defines]" && equals != std::string::npos) {
      inf.Defines[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
    } else if (section == "[Binaries.IA32]" && bar != std::string::npos && line.ends_with("|*")) {
      inf.Binaries[line.substr(0, bar)] = line.substr(bar + 1, line.size() - 2 - (bar + 1));
    }
  }
  return inf;
}

std::vector<uint8_t> Beside(const char* Inf, const std::string& Name) {
  return emu::ReadFileBytes((std::filesystem::path(Inf).parent_path() / Name).string());
}

} // namespace

TEST(KitTest, TheInfDescribesTheFfsAsOurReaderSeesIt) {
  const Inf inf = ReadInf(BOARDINIT_INF);
  const package::ParsedFile ffs = package::ParseFile(emu::ReadFileBytes(BOARDINIT_FFS));
  const package::ModuleVersion version =
      package::ParseVersionData(package::OnlySection(ffs, package::SectionType::Version).Data);
  EXPECT_EQ(inf.Defines.at("FILE_GUID"), ffs.Name.ToString());
  EXPECT_EQ(inf.Defines.at("MODULE_TYPE"), "PEIM");
  EXPECT_EQ(ffs.Type, package::FileType::Peim);
  EXPECT_EQ(inf.Defines.at("BASE_NAME"),
            package::UserInterfaceName(
                package::OnlySection(ffs, package::SectionType::UserInterface).Data));
  EXPECT_EQ(std::filesystem::path(BOARDINIT_INF).filename(), inf.Defines.at("BASE_NAME") + ".inf");
  EXPECT_EQ(inf.Defines.at("VERSION_STRING"), version.Text);
  EXPECT_EQ(inf.Defines.at("BUILD_NUMBER"), std::to_string(version.BuildNumber));

  // Each binary beside the INF: the dependency expression the FFS holds, and the PE32 its code
  // section is made from (the TE image is left out: a TE rule would take both).
  ASSERT_EQ(inf.Binaries.size(), 2u);
  EXPECT_EQ(Beside(BOARDINIT_INF, inf.Binaries.at("PEI_DEPEX")),
            package::OnlySection(ffs, package::SectionType::PeiDepex).Data);
  EXPECT_EQ(Beside(BOARDINIT_INF, inf.Binaries.at("PE32")), emu::ReadFileBytes(BOARDINIT_IMAGE));
}

TEST(KitTest, UefiExtractFindsTheInfsModuleInTheVolume) {
  const Inf inf = ReadInf(BOARDINIT_INF);
  const testsupport::Extracted extracted =
      testsupport::RunUefiExtract(emu::ReadFileBytes(BOARDINIT_FV), true);
  const auto item = [&](const char* Key, const std::string& Value) {
    const auto found = std::find_if(extracted.Items.begin(), extracted.Items.end(),
                                    [&](const testsupport::ItemInfo& Info) {
                                      return Info.contains(Key) && Info.at(Key) == Value;
                                    });
    return found == extracted.Items.end() ? testsupport::ItemInfo{} : *found;
  };
  EXPECT_EQ(item("File GUID", inf.Defines.at("FILE_GUID"))["Text"], inf.Defines.at("BASE_NAME"));
  const testsupport::ItemInfo version = item("Subtype", "Version");
  EXPECT_EQ(version.contains("Version string") ? version.at("Version string") : "",
            inf.Defines.at("VERSION_STRING"));
  EXPECT_EQ(version.contains("Build number") ? version.at("Build number") : "",
            inf.Defines.at("BUILD_NUMBER"));
}

// Each fragment's statements, after its comment; the comment holds no '!' or '$(', which EDK2's
// FDF parser reads even there. tests/kit/edk2_platform.py has EDK2's build take them.
TEST(KitTest, TheFdfFragmentPutsTheInfIntoThePeiVolume) {
  const std::string inf =
      "$(BOARDINIT_KIT_DIR)/" + std::filesystem::path(BOARDINIT_INF).filename().string();
  const bool beforeMemory =
      package::OnlySection(package::ParseFile(emu::ReadFileBytes(BOARDINIT_FFS)),
                           package::SectionType::PeiDepex)
          .Data == package::DepexAlways();
  const std::string rule = "[Rule.Common.PEIM.BOARDINIT]\n"
                           "  FILE PEIM = $(NAMED_GUID) RELOCS_RETAINED CHECKSUM {\n";
  const struct {
    const char* Name;
    std::string Statements;
  } cases[] = {
      {".fdf.inc", "INF RuleOverride = BOARDINIT " + inf + "\n"},
      {".apriori.fdf.inc", beforeMemory ? "INF " + inf + "\n" : "\n"},
      {".rules.fdf.inc", rule},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.Name);
    std::ifstream in(std::filesystem::path(BOARDINIT_FDF).parent_path() /
                     (std::string(BOARDINIT_UI_NAME) + item.Name));
    std::string comment, statements;
    for (std::string line; std::getline(in, line);) {
      (line.starts_with('#') ? comment : statements) += line + "\n";
    }
    EXPECT_EQ(comment.find('!'), std::string::npos) << comment;
    EXPECT_EQ(comment.find("$("), std::string::npos) << comment;
    EXPECT_EQ(statements.substr(0, item.Statements.size()), item.Statements);
  }
}
