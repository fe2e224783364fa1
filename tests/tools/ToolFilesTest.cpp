// The tools (boardsim, package_module, place_peim) as a user runs them, with the files and names
// an attacker would hand them: no input is ever overwritten and no device replaced, every input is
// a regular file of bounded size, every option is checked and named in the one line that refuses
// it, and whatever the names, each message is one clear line.
#include "emu/PeImage.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char OvmfCode[] = "/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd";

// A work folder holding what the rows name: the module's image and FFS file, a flash image, a
// private null device and full device, a FIFO, a folder, files too large to read, and a user's
// file that happens to have the name an old temporary had.
class ToolFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::remove_all(work);
    fs::create_directories(work / "folder");
    fs::copy_file(BOARDINIT_IMAGE, work / "m.efi");
    fs::copy_file(BOARDINIT_FFS, work / "m.ffs");
    fs::copy_file(OvmfCode, work / "flash.fd");
    // Private device nodes where the user may make them (root); the system's own, through a link,
    // where not (a user who may not make one may not replace one either).
    for (const auto& [name, minor] : {std::pair{"null", 3}, std::pair{"full", 7}}) {
      if (mknod((work / name).c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) {
        fs::create_symlink(fs::path("/dev") / name, work / name);
      }
    }
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    fs::resize_file(Write("huge17", {}), 17u << 20);
    fs::resize_file(Write("huge65", {}), 65u << 20);
    Write("out.te.tmp", {'k', 'e', 'e', 'p'});
  }
  void TearDown() override { fs::remove_all(work); }

  fs::path Write(const std::string& Name, const Bytes& Data) {
    std::ofstream(work / Name, std::ios::binary)
        .write(reinterpret_cast<const char*>(Data.data()),
               static_cast<std::streamsize>(Data.size()));
    return work / Name;
  }
  Bytes Read(const std::string& Name) const { return emu::ReadFileBytes(work / Name); }
  bool IsDevice(const std::string& Name) const { return fs::is_character_file(work / Name); }

  // package_module on Image (the module's) with the build's GUID and Name, then Options.
  std::vector<std::string> Package(std::vector<std::string> Options, std::string Image = "m.efi",
                                   std::string Name = "BoardInit") const {
    std::vector<std::string> args{BOARDINIT_PACKAGE_MODULE,
                                  "--pe",
                                  work / Image,
                                  "--guid",
                                  "1271D999-FAD7-455D-9894-5B642DD6EE1C",
                                  "--name",
                                  Name};
    args.insert(args.end(), Options.begin(), Options.end());
    return args;
  }
  std::vector<std::string> Place(std::vector<std::string> Options) const {
    std::vector<std::string> args{BOARDINIT_PLACE_PEIM, "--dispatch", "before-memory"};
    args.insert(args.end(), Options.begin(), Options.end());
    return args;
  }
  std::string In(const std::string& Name) const { return work / Name; }

  struct Row {
    const char* Name;
    std::vector<std::string> Args;
    int Status;
    std::string Message; // in the one line on standard error; "" when none is
    std::function<void(const testsupport::ToolRun&)> After = {}; // what must hold afterwards
  };
  void ExpectRows(const std::vector<Row>& Rows) {
    for (const Row& row : Rows) {
      SCOPED_TRACE(row.Name);
      const testsupport::ToolRun ran = testsupport::RunTool(row.Args);
      EXPECT_EQ(ran.Status, row.Status) << ran.Errors;
      if (row.Message.empty()) {
        EXPECT_EQ(ran.Errors, "");
      } else {
        EXPECT_NE(ran.Errors.find(row.Message), std::string::npos) << ran.Errors;
        EXPECT_EQ(std::count(ran.Errors.begin(), ran.Errors.end(), '\n'), 1) << ran.Errors;
      }
      if (row.After) {
        row.After(ran);
      }
      for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name.find(".partial-") == std::string::npos &&
                    (name.find(".tmp") == std::string::npos || name == "out.te.tmp"))
            << "left behind: " << name;
      }
    }
  }

  const fs::path work = fs::path(::testing::TempDir()) / "tool-files";
};

TEST_F(ToolFilesTest, PackagingOutputsNeverReplaceAnInputOrADeviceAndAreWrittenWhole) {
  const Bytes image = Read("m.efi");
  const Bytes flash = Read("flash.fd");
  ExpectRows({
      {"the output is the input", Package({"--te", In("m.efi")}), 2,
       "the TE image would overwrite the PE32 image",
       [&](const auto&) { EXPECT_EQ(Read("m.efi"), image); }},
      {"one file for two outputs", Package({"--te", In("x"), "--ffs", In("x")}), 2,
       "the FFS file would overwrite the TE image",
       [&](const auto&) { EXPECT_FALSE(fs::exists(In("x"))); }},
      {"the edited image over the flash image",
       Place({"--firmware", In("flash.fd"), "--ffs", In("m.ffs"), "--out", In("flash.fd")}), 2,
       "the edited image would overwrite the flash image",
       [&](const auto&) { EXPECT_EQ(Read("flash.fd"), flash); }},
      {"a device is written into", Package({"--te", In("null"), "--fv", In("null")}), 0, "",
       [&](const auto&) { EXPECT_TRUE(IsDevice("null")); }},
      {"a device that fails the write", Package({"--te", In("full")}), 3,
       "cannot write TE image to " + In("full") + ": No space left on device",
       [&](const auto&) { EXPECT_TRUE(IsDevice("full")); }},
      {"a user's file named as a temporary once was", Package({"--te", In("out.te")}), 0, "",
       [&](const auto&) {
         EXPECT_EQ(Read("out.te.tmp"), (Bytes{'k', 'e', 'e', 'p'}));
         EXPECT_EQ(Read("out.te"), emu::ReadFileBytes(BOARDINIT_TE));
       }},
      {"work that fails after the outputs are opened",
       Package({"--te", In("late.te"), "--fv", In("late.fv"), "--fv-size", "0x1000"}), 2,
       "the volume holds 4096",
       [&](const auto&) {
         EXPECT_FALSE(fs::exists(In("late.te")));
         EXPECT_FALSE(fs::exists(In("late.fv")));
       }},
  });
}

// What a command reads without naming it (the map beside the image, the debug twins --source and
// --gdb look for) is an input like a named one: no output of any command replaces it.
TEST_F(ToolFilesTest, NoOutputReplacesAFileTheCommandReadsNamedOrFoundBesideTheImage) {
  fs::copy_file(BOARDINIT_IMAGE_MAP, work / "m.map");
  fs::copy_file(BOARDINIT_IMAGE_DEBUG, work / "m.debug.efi");
  Write("saved.trace", {});
  const Bytes map = Read("m.map");
  const Bytes twin = Read("m.debug.efi");
  const auto tool = [](std::vector<std::string> Args) {
    Args.insert(Args.begin(), BOARDINIT_BOARDSIM);
    return Args;
  };
  const auto kept = [&](const auto&) {
    EXPECT_EQ(Read("m.map"), map);
    EXPECT_EQ(Read("m.debug.efi"), twin);
  };
  ExpectRows({
      {"sweep, the map beside the image",
       tool({"sweep", "--image", In("m.efi"), "--board", "default", "--html", In("m.map")}), 2,
       "the page would overwrite the linker map", kept},
      {"sweep, the map named",
       tool({"sweep", "--image", In("m.efi"), "--map", In("m.map"), "--board", "default", "--html",
             In("m.map")}),
       2, "the page would overwrite the linker map", kept},
      {"op, the map beside the image",
       tool({"op", "--image", In("m.efi"), "--html", In("m.map"), "GetIdentity"}), 2,
       "the page would overwrite the linker map", kept},
      {"run --source, the image's debug twin",
       tool({"run", "--image", In("m.efi"), "--source", "--trace", "-", "--html",
             In("m.debug.efi")}),
       2, "the page would overwrite the image's debug twin", kept},
      {"run --gdb, the image's debug twin",
       tool({"run", "--image", In("m.efi"), "--gdb", ":0", "--vcd", In("m.debug.efi")}), 2,
       "the waveform would overwrite the image's debug twin", kept},
      {"op --source, the image's debug twin",
       tool({"op", "--image", In("m.efi"), "--map", In("m.map"), "--source", "--trace",
             In("m.debug.efi"), "GetIdentity"}),
       2, "the trace would overwrite the image's debug twin", kept},
      {"decode --source, the image's debug twin as standard output (appended to, not cut)",
       {"sh", "-c",
        std::string(BOARDINIT_BOARDSIM) + " decode --source --image " + In("m.efi") + " " +
            In("saved.trace") + " >>" + In("m.debug.efi")},
       2,
       "standard output is the image's debug twin",
       kept},
  });
}

TEST_F(ToolFilesTest, EveryInputIsARegularFileOfBoundedSize) {
  const auto place = [&](const std::string& Firmware, const std::string& Ffs) {
    return Place({"--firmware", Firmware, "--ffs", Ffs, "--out", In("out.fd")});
  };
  ExpectRows({
      {"a device as the image", Package({}, "/dev/zero"), 2,
       "zero: is a device, not a regular file"},
      {"a FIFO as the image", Package({}, "fifo"), 2, "fifo: is a FIFO, not a regular file"},
      {"an image larger than any module's", Package({}, "huge17"), 2,
       "huge17: is larger than 16 MiB, too large for a module's image"},
      {"a device as the flash image", place("/dev/zero", In("m.ffs")), 2,
       "/dev/zero: is a device, not a regular file"},
      {"a flash image larger than a flash part", place(In("huge65"), In("m.ffs")), 2,
       "huge65: is larger than 64 MiB, too large for a flash image"},
      {"a FIFO as the FFS file", place(In("flash.fd"), In("fifo")), 2,
       "fifo: is a FIFO, not a regular file"},
      {"a FIFO as the map",
       {BOARDINIT_BOARDSIM, "op", "--image", In("m.efi"), "--map", In("fifo"), "GetIdentity"},
       2,
       "fifo: linker map: is a FIFO, not a regular file"},
      {"a device as the map",
       {BOARDINIT_BOARDSIM, "op", "--image", In("m.efi"), "--map", "/dev/zero", "GetIdentity"},
       2,
       "/dev/zero: linker map: is a device, not a regular file"},
      {"an image larger than a flash part",
       {BOARDINIT_BOARDSIM, "run", "--image", In("huge65")},
       2,
       "huge65: is larger than 64 MiB, too large for a module's file"},
  });
}

TEST_F(ToolFilesTest, PackagingOptionsAreCheckedAndNamedInTheOneLineThatRefusesThem) {
  // The image with an import table, which the runner refuses.
  Bytes importing = Read("m.efi");
  const uint32_t pe = importing[0x3C] | importing[0x3D] << 8;
  importing[pe + 4 + 20 + 96 + 8] = 0x40; // import directory at RVA 0x40, 20 bytes
  importing[pe + 4 + 20 + 96 + 12] = 20;
  Write("importing.efi", importing);
  const std::string refusal = "the image imports (import table at RVA 0x40)";
  ExpectRows({
      {"the default volume base runs", Package({"--fv", In("default.fv")}), 0, "",
       [&](const auto&) {
         const testsupport::ToolRun run =
             testsupport::RunTool({BOARDINIT_BOARDSIM, "run", "--image", In("default.fv")});
         EXPECT_EQ(run.Status, 0) << run.Errors;
       }},
      {"a volume past 4 GiB", Package({"--fv-base", "0xFFFFF000"}), 2,
       "--fv-base 0xFFFFF000: a volume of 0x10000 bytes at 0xFFFFF000 runs past 4 GiB"},
      {"a PEI volume past 4 GiB",
       Place({"--firmware", In("flash.fd"), "--ffs", In("m.ffs"), "--out", In("out.fd"),
              "--pei-base", "0xFFFFF000"}),
       2, "the PEI volume's address: a volume of"},
      {"a base off the volume's alignment", Package({"--fv-base", "0x820004"}), 2,
       "--fv-base 0x820004: a volume at 0x820004 breaks the 8-byte alignment its header claims"},
      {"a number that looks octal", Package({"--fv-base", "04000000"}), 2,
       "--fv-base 04000000: a leading zero would make it octal elsewhere"},
      {"a control character in the name", Package({}, "m.efi", "Board\x01Init"), 2,
       "--name: user-interface name holds byte 0x1 at 5"},
      {"a name beyond ASCII", Package({}, "m.efi", "Bo\xC3\xAEte"), 2,
       "--name: user-interface name holds byte 0xC3 at 2"},
      {"an image the runner refuses", Package({}, "importing.efi"), 2, refusal},
      {"... as the runner refuses it",
       {BOARDINIT_BOARDSIM, "run", "--image", In("importing.efi")},
       2,
       refusal},
      {"a value CLI11 refuses", Package({"--code", "elf"}), 2, "--code: elf not in {te,pe32}"},
      {"a number that is none",
       Place({"--firmware", In("flash.fd"), "--ffs", In("m.ffs"), "--out", In("out.fd"),
              "--pei-base", "zz"}),
       2, "--pei-base zz is not a number"},
      {"a folder as the image", Package({}, "folder"), 2, "folder: is a directory"},
  });
}

TEST_F(ToolFilesTest, BoardsimNamesAndMessagesAreOneClearLineAndDestroyNothing) {
  const std::string longest(255, 'n'); // the longest name a file may have
  fs::create_symlink("named.trace", work / "dangling");
  Bytes te = emu::ReadFileBytes(BOARDINIT_TE);
  te.resize(te.size() - 100);
  Write("short.te", te);
  // The image with a delay-import directory (index 13), which the runner refuses.
  Bytes delayed = Read("m.efi");
  const uint32_t pe = delayed[0x3C] | delayed[0x3D] << 8;
  delayed[pe + 4 + 20 + 96 + 8 * 13] = 0x40;
  Write("delayed.efi", delayed);
  Write("long.map", [] {
    const std::string text =
        "Address  Size     Align Out     In      Symbol\n" + std::string(5000, 'x') + "\n";
    return Bytes(text.begin(), text.end());
  }());
  fs::copy_file(BOARDINIT_FV, work / "m.fv");
  const auto host = [](std::vector<std::string> Args) {
    Args.insert(Args.begin(), BOARDINIT_BOARDSIM);
    return Args;
  };
  const auto says = [](const std::string& Line) {
    return [Line](const testsupport::ToolRun& Ran) {
      EXPECT_NE(Ran.Output.find(Line + "\n"), std::string::npos) << Ran.Output;
    };
  };
  ExpectRows({
      {"an output name of 255 bytes", host({"run", "--host", "--trace", In(longest)}), 0, "",
       [&](const auto&) { EXPECT_TRUE(fs::is_regular_file(work / longest)); }},
      {"a link to a trace not written yet", host({"run", "--host", "--trace", In("dangling")}), 0,
       "",
       [&](const auto&) {
         EXPECT_TRUE(fs::is_symlink(work / "dangling"));
         EXPECT_TRUE(fs::is_regular_file(work / "named.trace"));
       }},
      {"a board name no file can have", host({"run", "--board", std::string(300, 'b')}), 2,
       "no board named 'bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb'... (looked for"},
      {"a volume swept without its map", host({"sweep", "--image", In("m.fv"), "--op", "GetLevel"}),
       2, "(name the image's linker map with --map)"},
      {"... and with it",
       host({"sweep", "--image", In("m.fv"), "--map", BOARDINIT_IMAGE_MAP, "--op", "GetLevel",
             "--board", "default", "--sample", "3"}),
       0, "", says("targets   0 boots, 1 slot calls")},
      {"a board and a slot named twice",
       host({"sweep", "--host", "--board", "default", "--board", "default", "--op", "GetLevel",
             "--op", "GetLevel", "--sample", "3"}),
       0, "", says("targets   0 boots, 1 slot calls")},
      {"a slot the board does not offer",
       host({"sweep", "--host", "--board", "default", "--op", "InitStep4"}), 0, "",
       says("not swept: InitStep4 on default, not offered by variant 5")},
      {"a TE image cut short", host({"run", "--image", In("short.te")}), 2,
       "short.te: truncated TE image: section .reloc at"},
      {"a delay-import directory", host({"run", "--image", In("delayed.efi")}), 2,
       "the image imports (delay-import table at RVA 0x40)"},
      {"a map line of 5,000 bytes",
       host({"op", "--image", In("m.efi"), "--map", In("long.map"), "GetIdentity"}), 2,
       "not an lld map: line 2: 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'... (name"},
  });
#if !defined(__SANITIZE_ADDRESS__)
  // Under a memory limit the emulator gives up with its own message: still the tool's one line.
  // (The sanitizers reserve more address space than any such limit allows.)
  ExpectRows({{"the emulator out of memory",
               {"sh", "-c", std::string("ulimit -v 400000; exec ") + BOARDINIT_BOARDSIM + " run"},
               1,
               "boardsim: the module did not return: the CPU emulator ended the run (exit status "
               "1): Could not allocate"}});
#endif
}

} // namespace
