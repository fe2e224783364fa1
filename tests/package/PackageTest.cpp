// The package library on the module's own image: what it writes reads back field by field, images
// keep their RVAs through TE conversion and rebasing, and damaged input is refused with the reason.
#include "emu/PeImage.h"
#include "package/Bytes.h"
#include "package/Depex.h"
#include "package/Forms.h"
#include "package/Peim.h"
#include "package/Rebase.h"
#include "package/Te.h"
#include "package/Volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

const package::Guid ModuleGuid = *package::Guid::Parse(BOARDINIT_FILE_GUID);
constexpr uint16_t Build = BOARDINIT_BUILD_NUMBER;
constexpr uint32_t VolumeBase = 0x00820000;
constexpr uint32_t VolumeSize = 0x10000;

// The module packaged as the build packages it, once for every test.
struct Shipped {
  std::vector<uint8_t> Pe = emu::ReadFileBytes(BOARDINIT_IMAGE);
  std::vector<uint8_t> Te = package::ConvertPeToTe(Pe);
  package::FileSpec File =
      package::PeimFile({ModuleGuid, BOARDINIT_UI_NAME, package::DepexAlways(),
                         package::CodeForm::Te, package::ModuleVersion{Build, BOARDINIT_VERSION}},
                        Pe);
  std::vector<uint8_t> Ffs = package::BuildFile(File);
  std::vector<uint8_t> Fv =
      package::BuildVolumeInPlace({&File, 1}, {.Size = VolumeSize}, VolumeBase);
};

const Shipped& Module() {
  static const Shipped shipped;
  return shipped;
}

std::vector<uint32_t> FixupsOf(std::span<const uint8_t> Pe) {
  const package::PeHeaders pe = package::ReadPeHeaders(Pe);
  return package::ReadFixups(Pe, pe.Sections, pe.BaseRelocation, 0, pe.SizeOfImage);
}

} // namespace

TEST(PackageTest, TheVolumeHoldsTheModuleAsWrittenAndReadsBackFieldByField) {
  const Shipped& m = Module();
  const package::ParsedVolume fv = package::ParseVolume(m.Fv);
  EXPECT_EQ(fv.FileSystem, package::FirmwareFileSystem2);
  EXPECT_EQ(fv.Length, VolumeSize);
  EXPECT_EQ(fv.HeaderLength, 72);
  EXPECT_EQ(fv.Revision, 2);
  EXPECT_EQ(fv.Attributes, 0x00030E06u); // readable, memory mapped, erase polarity 1, 8-aligned
  ASSERT_EQ(fv.BlockMap.size(), 1u);
  EXPECT_EQ(fv.BlockMap[0].NumBlocks * fv.BlockMap[0].Length, VolumeSize);
  ASSERT_EQ(fv.Files.size(), 1u);
  const package::ParsedFile& file = fv.Files[0].File;
  EXPECT_EQ(fv.Files[0].Offset, 72u);
  EXPECT_EQ(file.Name, ModuleGuid);
  EXPECT_EQ(file.Type, package::FileType::Peim);
  EXPECT_EQ(file.Attributes, package::AttributeChecksum);
  EXPECT_EQ(file.State, 0xF8); // header and data valid, as erase polarity 1 stores them
  EXPECT_EQ(file.Size, m.Ffs.size());
  EXPECT_EQ(fv.FreeSpaceOffset, package::AlignUp(72 + file.Size, 8));
  ASSERT_EQ(file.Sections.size(), 4u);
  EXPECT_EQ(file.Sections[0].Type, package::SectionType::PeiDepex);
  EXPECT_EQ(file.Sections[0].Data, (std::vector<uint8_t>{0x06, 0x08})); // TRUE, END
  EXPECT_EQ(file.Sections[1].Type, package::SectionType::Te);
  EXPECT_EQ(file.Sections[1].Offset, 8u); // the depex section padded to 4 bytes
  EXPECT_EQ(file.Sections[2].Type, package::SectionType::UserInterface);
  EXPECT_EQ(package::UserInterfaceName(file.Sections[2].Data), BOARDINIT_UI_NAME);
  EXPECT_EQ(file.Sections[3].Type, package::SectionType::Version);
  EXPECT_EQ(package::ParseVersionData(file.Sections[3].Data),
            (package::ModuleVersion{Build, BOARDINIT_VERSION}));
  // Placed to run in place: the TE header lies at its section's data.
  const uint32_t teAt = VolumeBase + 72 + 24 + 8 + 4;
  const package::TeImage te = package::ParseTe(file.Sections[1].Data);
  EXPECT_EQ(te.ImageBase, teAt - te.StrippedBytes());
  // The standalone file is the same file, not yet placed.
  EXPECT_EQ(package::ParseFile(m.Ffs).Sections[1].Data, m.Te);
}

// EFI_VERSION_SECTION's data: the build number, then the text in UCS-2 ending in a zero.
TEST(PackageTest, TheVersionSectionIsTheBuildNumberThenItsText) {
  EXPECT_EQ(package::VersionData({0x1234, "1.2"}),
            (std::vector<uint8_t>{0x34, 0x12, '1', 0, '.', 0, '2', 0, 0, 0}));
  const struct {
    const char* What;
    std::function<void()> Call;
    const char* Reason;
  } refused[] = {
      {"no build number", [] { package::ParseVersionData(std::vector<uint8_t>{7}); },
       "version section's build number"},
      {"no terminating zero",
       [] {
         package::ParseVersionData(std::vector<uint8_t>{0, 0, '1', 0});
       },
       "version section is not a UCS-2 string ending in a zero"},
      {"a character beyond ASCII",
       [] {
         package::VersionData({0, "1.2\xE9"});
       },
       "version text holds byte 0xE9 at 3; only printable ASCII is written"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.What);
    try {
      c.Call();
      ADD_FAILURE() << "not refused";
    } catch (const package::FormatError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Reason), std::string::npos) << error.what();
    }
  }
}

TEST(PackageTest, DependencyExpressionsDecodeToWhatTheyAskFor) {
  using Op = package::DepexOpcode;
  const struct {
    std::vector<uint8_t> Bytes;
    std::vector<package::DepexInstruction> Program;
  } cases[] = {
      {package::DepexAlways(), {{Op::True, {}}, {Op::End, {}}}},
      {package::DepexAfterPpi(package::PermanentMemoryInstalledPpi),
       {{Op::Push, package::PermanentMemoryInstalledPpi}, {Op::End, {}}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(package::ParseDepex(c.Bytes), c.Program);
  }
  // GUIDs are stored with their first three fields little-endian.
  EXPECT_EQ(package::DepexAfterPpi(package::PermanentMemoryInstalledPpi)[1], 0x3D);
  EXPECT_EQ(package::PermanentMemoryInstalledPpi.ToString(),
            "F894643D-C449-42D1-8EA8-85BDD8C65BDE");
  EXPECT_FALSE(package::Guid::Parse("F894643D-C449-42D1-8EA8-85BDD8C65BDG"));
  EXPECT_FALSE(package::Guid::Parse("F894643DC449-42D1-8EA8-85BDD8C65BDE0"));
}

TEST(PackageTest, TheTeImageIsThePe32WithItsHeadersReplacedAndEveryRvaKept) {
  const Shipped& m = Module();
  const package::PeHeaders pe = package::ReadPeHeaders(m.Pe);
  const package::TeImage te = package::ParseTe(m.Te);
  EXPECT_EQ(te.StrippedSize, pe.SectionTableOffset);
  EXPECT_EQ(m.Te.size(), m.Pe.size() - te.StrippedBytes());
  EXPECT_LT(m.Te.size(), m.Pe.size());
  EXPECT_EQ(te.AddressOfEntryPoint, pe.AddressOfEntryPoint);
  EXPECT_EQ(te.BaseOfCode, pe.BaseOfCode);
  EXPECT_EQ(te.ImageBase, pe.ImageBase);
  EXPECT_EQ(te.BaseRelocation.Rva, pe.BaseRelocation.Rva);
  EXPECT_EQ(te.BaseRelocation.Size, pe.BaseRelocation.Size);
  EXPECT_EQ(te.Fixups, FixupsOf(m.Pe));
  EXPECT_FALSE(te.Fixups.empty());
  EXPECT_TRUE(std::equal(m.Te.begin() + 40, m.Te.end(), m.Pe.begin() + pe.SectionTableOffset));
}

TEST(PackageTest, RebasingMovesEveryFixupAndNothingElse) {
  const Shipped& m = Module();
  const std::vector<uint32_t> fixups = FixupsOf(m.Pe);
  const uint32_t strippedBytes = package::ParseTe(m.Te).StrippedBytes();
  const struct {
    const char* Form;
    const std::vector<uint8_t>& Image;
    std::function<std::vector<uint8_t>(std::span<const uint8_t>, uint32_t)> Rebase;
    uint32_t Address;       // where the image's first byte goes
    uint32_t Base;          // where RVA 0 then lies
    uint32_t FileOffsetOf0; // file offset of RVA 0's byte
  } cases[] = {
      {"PE32", m.Pe, package::RebasePe, 0x00820060, 0x00820060, 0},
      {"TE", m.Te, package::RebaseTe, 0x00820060, 0x00820060 - strippedBytes, strippedBytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Form);
    const std::vector<uint8_t> moved = c.Rebase(c.Image, c.Address);
    for (uint32_t rva : fixups) {
      const uint32_t at = rva - c.FileOffsetOf0; // RVA equals PE32 file offset in this image
      EXPECT_EQ(package::Get32(moved, at), package::Get32(c.Image, at) + c.Base) << rva;
    }
    // Back to where it was linked: byte for byte the original.
    EXPECT_EQ(c.Rebase(moved, c.Address - c.Base), c.Image);
  }
  // Placing to run in place needs every section at its RVA in the file.
  package::FileSpec shifted = m.File;
  shifted.Sections[1].Data[40 + 12] += 0x20; // .text's VirtualAddress in the TE section table
  try {
    package::PlaceFile(shifted, VolumeBase);
    ADD_FAILURE() << "placed";
  } catch (const package::FormatError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot run in place"), std::string::npos);
  }
}

// Every refusal of the reader the runner uses, from a good file damaged in one way.
TEST(PackageTest, TheReaderRefusesDamagedInputWithTheReason) {
  using Bytes = std::vector<uint8_t>;
  const Shipped& m = Module();
  constexpr size_t TeAt = 24 + 8 + 4; // the TE image inside the file
  constexpr size_t StrippedSizeAt = 6;
  const auto fixChecksums = [](Bytes& Ffs, size_t At) {
    // A file made to run past its input keeps the checksum of what there is.
    const size_t size =
        std::min<size_t>(Ffs[At + 20] | Ffs[At + 21] << 8 | Ffs[At + 22] << 16, Ffs.size() - At);
    Ffs[At + 17] = static_cast<uint8_t>(-package::Sum8({Ffs.data() + At + 24, size - 24}));
    Ffs[At + 16] = 0;
    const uint8_t sum = package::Sum8({Ffs.data() + At, 24}) - Ffs[At + 17] - Ffs[At + 23];
    Ffs[At + 16] = static_cast<uint8_t>(-sum);
  };
  const auto fixVolume = [](Bytes& Fv) {
    package::Put16(Fv, 50, 0);
    package::Put16(Fv, 50, static_cast<uint16_t>(-package::Sum16({Fv.data(), 72})));
  };
  const struct {
    const char* Damage;
    const Bytes& Good;
    std::function<void(Bytes&)> Change;
    const char* Reason;
  } cases[] = {
      {"file header checksum", m.Ffs, [](Bytes& b) { b[0] ^= 1; }, "wrong header checksum"},
      {"file data checksum", m.Ffs, [](Bytes& b) { b[TeAt + 100] ^= 1; }, "wrong data checksum"},
      {"section past the file", m.Ffs,
       [&](Bytes& b) {
         b[24 + 8 + 1] += 1; // the TE section 256 bytes longer
         fixChecksums(b, 0);
       },
       "runs past the end of the file's data"},
      {"TE StrippedSize too large", m.Ffs,
       [&](Bytes& b) {
         b[TeAt + StrippedSizeAt + 1] += 1;
         fixChecksums(b, 0);
       },
       "TE StrippedSize 0x270 puts section .text at"},
      {"TE StrippedSize too small", m.Te, [](Bytes& b) { b[StrippedSizeAt] -= 0x20; },
       "(as StrippedSize 0x150 places it) runs past the end"},
      {"TE StrippedSize below its header", m.Te,
       [](Bytes& b) { package::Put16(b, StrippedSizeAt, 8); }, "smaller than the TE header"},
      {"file state", m.Fv, [](Bytes& b) { b[72 + 23] = 0xFC; }, "state 0xFC"},
      {"not a PEIM", m.Ffs,
       [&](Bytes& b) {
         b[18] = 0x07;
         fixChecksums(b, 0);
       },
       "a driver file, not a PEIM"},
      {"dependency expression without END", m.Ffs,
       [&](Bytes& b) {
         b[24 + 5] = 0x06;
         fixChecksums(b, 0);
       },
       "dependency expression without END"},
      {"bytes after the file", m.Ffs, [](Bytes& b) { b.resize(b.size() + 8, 0xFF); },
       "8 bytes after the file's end"},
      {"truncated volume", m.Fv, [](Bytes& b) { b.resize(0x8000); }, "truncated volume"},
      {"volume header checksum", m.Fv, [](Bytes& b) { b[44] ^= 1; },
       "wrong volume header checksum"},
      {"block map", m.Fv,
       [&](Bytes& b) {
         b[56] -= 1;
         fixVolume(b);
       },
       "block map covers 61440 bytes of 65536"},
      {"data in free space", m.Fv, [](Bytes& b) { b.back() = 0; }, "holds data at 0xFFFF"},
      {"file past the volume", m.Fv,
       [&](Bytes& b) {
         b[72 + 22] = 1;
         fixChecksums(b, 72);
       },
       "runs past the end"},
      {"no known form", m.Ffs, [](Bytes& b) { b.assign(64, 'x'); },
       "not a PE32 image, TE image, FFS file or firmware volume"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Damage);
    Bytes damaged = c.Good;
    c.Change(damaged);
    try {
      const package::ModuleCode code = package::FindModuleCode(damaged);
      ASSERT_EQ(code.Type, package::SectionType::Te) << "read without complaint";
      package::ParseTe(code.Image);
      ADD_FAILURE() << "read without complaint";
    } catch (const package::FormatError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Reason), std::string::npos) << error.what();
    }
  }
}
