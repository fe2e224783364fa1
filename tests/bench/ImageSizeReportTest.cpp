#include "bench/ImageSizeReport.h"
#include "bench/StackReport.h"

#include "gpio/PadTables.h"
#include "tools/boardsim/CommandLine.h"
#include "tools/boardsim/run/RunCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

namespace {

bench::SizeReport MeasureBuiltImage() {
  const std::vector<uint8_t> file = emu::ReadFileBytes(BOARDINIT_IMAGE);
  return bench::MeasureImage("boardinit.efi", file.size(), emu::ParsePe(file),
                             emu::ReadLinkerMap(BOARDINIT_IMAGE_MAP));
}

// The floor counts each constant table once, at the size its declaration gives it.
TEST(ImageSizeReportTest, DataFloorIsEveryConstantTableOfTheImage) {
  const bench::SizeReport report = MeasureBuiltImage();
  std::map<std::string, uint32_t> tables;
  for (const bench::TableSize& table : report.Tables) {
    tables[table.Name] = table.Bytes;
  }
  const std::map<std::string, uint32_t> expected = {
      {"PadTable1000", sizeof(PadTable1000)},
      {"PadTable0000", sizeof(PadTable0000)},
      {"PadTable2000", sizeof(PadTable2000)},
      {"EarlyPadOffsets", 10 * sizeof(uint16_t)},
      {"LegacyGpioRegisters", 19 * sizeof(uint16_t)},
      {"LatePads", 10 * sizeof(uint8_t)},
      {"PullPatterns", 7 * 2 * sizeof(uint32_t)},
      {"BoardPadTables", 3 * 12},
      // The I2C controller's fixed set-up values, rows of 12 bytes.
      {"DecodeSetup", 3 * 12},
      {"PrivateSetup", 2 * 12},
      {"TimingSetup", 6 * 12},
      {"ModeSetup", 4 * 12},
      // The PMIC library: four 108-byte descriptors, the detection order, the update tables
      // of 12-byte steps, variant 5's read-modify-write rows of 3 bytes, the pending-status bit
      // maps variants 5 and 6 share, variant 1's four PMIC GPIO pins of 16 bytes and its two
      // auxiliary-device sequences; the converters of variants 1 and 6.
      {"PmicVariant1", 108},
      {"PmicVariant5", 108},
      {"PmicVariant6", 108},
      {"PmicVariantNone", 108},
      {"PmicDetectionList", 4 * 4},
      {"InitStep1Table", 12},
      {"InitStep2Table", 12},
      {"InitStep2Modifies", 8 * 3},
      {"InitStep3Table", 12},
      {"InitStep5Table", 10 * 12},
      {"PendingStatus1Bits", 3 * 8},
      {"PendingStatus2Bits", 3 * 8},
      {"Variant1Step1Table", 13 * 12},
      {"Variant1Step1Table1F", 34 * 12},
      {"Variant1Step3Table", 16 * 12},
      {"Variant1Step4Table", 8 * 12},
      {"Variant1Step5Table", 11 * 12},
      {"Variant1GpioPins", 4 * 16},
      {"Variant1AuxSequenceFC", 3},
      {"Variant1AuxSequenceF9", 2},
      {"Variant6Step3Table", 12},
      {"Variant6Step5Table", 11 * 12},
      {"Variant1Converter", 12},
      {"Variant6Converter", 12},
  };
  EXPECT_EQ(tables, expected);
  EXPECT_EQ(report.PadRows, PadTable1000Count + PadTable0000Count + PadTable2000Count);
  uint32_t sum = 0;
  for (const auto& [name, bytes] : expected) {
    sum += bytes;
  }
  EXPECT_EQ(report.DataFloor, sum);
  // Outside the named tables: only the compiler's jump table for the four update operations.
  EXPECT_EQ(report.OtherConstants, 16u);
  // The code is what the image's .text holds.
  const auto text = std::find_if(report.Sections.begin(), report.Sections.end(),
                                 [](const bench::SectionSize& s) { return s.Name == ".text"; });
  ASSERT_NE(text, report.Sections.end());
  EXPECT_EQ(report.CodeBytes, text->MemoryBytes);
}

TEST(ImageSizeReportTest, PrintsSizesSectionsAndTheFloor) {
  bench::SizeReport report;
  report.ImageName = "boardinit.efi";
  report.FileBytes = 1000;
  report.HeaderBytes = 544;
  report.Sections = {{".text", 320, 300}, {".rdata", 64, 52}};
  report.Tables = {{"PadTable1000", 42, 2}, {"LatePads", 10, 0}};
  report.PadRows = 2;
  report.DataFloor = 52;
  report.OtherConstants = 4;
  report.CodeBytes = 300;
  std::ostringstream text;
  bench::PrintSizeReport(text, report);
  EXPECT_EQ(text.str(), "boardinit.efi: 1000 bytes\n"
                        "  headers                    544\n"
                        "  .text                      320 in the file, 300 used\n"
                        "  .rdata                      64 in the file, 52 used\n"
                        "data floor: 52 bytes of constant tables (5% of the file)\n"
                        "  PadTable1000                42  (2 pad rows)\n"
                        "  LatePads                    10\n"
                        "  pad rows: 2 x 21 = 42 bytes\n"
                        "other read-only data: 4 bytes\n"
                        "code: 300 bytes of .text, 5.77 x the data floor\n");
}

// The forms as the build shipped them, and how the report sets them side by side.
TEST(ImageSizeReportTest, ShippedFormsSideBySide) {
  const bench::ShippedSizes built = bench::MeasureShippedForms(
      emu::ReadFileBytes(BOARDINIT_IMAGE).size(), emu::ReadFileBytes(BOARDINIT_TE).size(),
      emu::ReadFileBytes(BOARDINIT_FFS).size(), emu::ReadFileBytes(BOARDINIT_FV));
  EXPECT_LT(built.Te, built.Pe32);
  EXPECT_GT(built.Ffs, built.Te);
  EXPECT_EQ(built.VolumeUsed, (72 + built.Ffs + 7) / 8 * 8); // the header, then only the file

  std::ostringstream text;
  bench::PrintShippedSizes(text, {11488, 11160, 11220, 65536, 11296});
  EXPECT_EQ(text.str(), "shipped forms (bytes)\n"
                        "  PE32     11488  boardinit.efi\n"
                        "  TE       11160  boardinit.te, -328 against the PE32\n"
                        "  FFS      11220  boardinit.ffs, +60 against the TE image (file header, "
                        "sections, depex, name, version)\n"
                        "  volume   65536  boardinit-fv.bin, 11296 used, 54240 free\n");
}

// The stack section's deepest run is the first of the largest figures, and each command the
// section names makes, alone, the run it stands for: the deepest overall (a boot) and the deepest
// slot call. Two boards keep the test short; the build's report runs every built-in one.
TEST(ImageSizeReportTest, DeepestStackIsTheDeepestRunAndItsCommandAloneGoesAsDeep) {
  const bench::StackReport report = bench::MeasureStack(
      BOARDINIT_IMAGE, BOARDINIT_IMAGE_MAP, BOARDINIT_BOARDS_DIR, {"default", "variant1-id2b"});
  ASSERT_LT(report.Deepest, report.Runs.size());
  const bench::StackRun& deepest = report.Runs[report.Deepest];
  for (size_t i = 0; i < report.Runs.size(); ++i) {
    SCOPED_TRACE(report.Runs[i].Command);
    EXPECT_TRUE(report.Runs[i].Returned);
    EXPECT_GT(report.Runs[i].Used, 0u);
    EXPECT_TRUE(i < report.Deepest ? report.Runs[i].Used < deepest.Used
                                   : report.Runs[i].Used <= deepest.Used);
  }
  const auto slot =
      std::max_element(report.Runs.begin(), report.Runs.end(),
                       [](const bench::StackRun& A, const bench::StackRun& B) {
                         return (A.What != "boot" ? A.Used : 0) < (B.What != "boot" ? B.Used : 0);
                       });
  for (const bench::StackRun* run : {&deepest, &*slot}) {
    SCOPED_TRACE(run->Command);
    std::istringstream words(run->Command);
    std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    ASSERT_EQ(args.front(), "boardsim");
    const boardsim::CommandLine line =
        boardsim::ParseCommandLine(std::vector<std::string>(args.begin() + 1, args.end()));
    const boardsim::Installation where{BOARDINIT_BOARDS_DIR, BOARDINIT_IMAGE};
    ::testing::internal::CaptureStdout();
    const int status = line.Which == boardsim::Command::Run ? boardsim::RunCommand(line.Run, where)
                                                            : boardsim::OpCommand(line.Op, where);
    const std::string summary = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_NE(summary.find("\nstack     " + std::to_string(run->Used) + " of " +
                           std::to_string(run->Bytes) + " bytes used\n"),
              std::string::npos)
        << summary;
  }
}

} // namespace
