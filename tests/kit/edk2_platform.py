#!/usr/bin/env python3
"""EDK2's own build takes the integration kit as an integrator's platform does.

A minimal IA32 platform (a DSC listing BoardInit.inf, an FDF with PEI volumes) is built with
EDK2's `build` in each shape of SHAPES, from a workspace holding a copy of the kit's folder:
the kit's INF, its three fragments and the files the INF names, nothing else. UEFIExtract then
reads the flash device image: every volume that takes the kit holds the module's file once, that
file is the shipped FFS file byte for byte, its code and dependency sections are the shipped
ones, and the platform's apriori file lists what the platform put in its APRIORI PEI block.

The EDK2 tree comes from EDK2_TREE (BaseTools with its C tools built, Conf, MdePkg);
scripts/edk2-tree.sh makes one from the archive in ../shared/edk2. Without it the test is
skipped (exit 77), except under CI, where it fails.
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys

SKIPPED = 77
KIT_DIR = "Vendor/BoardInitKit"  # the platform's choice, as BOARDINIT_KIT_DIR
# The platform's own PEIM, a stand-in for what a platform's volume already holds.
PLATFORM_PEIM_GUID = "6C0E3B52-41A7-4E18-B2D9-0F5A7C19D384"
APRIORI_FILE_GUID = "1B45CC0A-156A-428A-AF62-49864DA0E6E6"

# Each shape: the platform's volumes (those that take the kit), whether it has a PEIM and rules
# of its own (listed before the kit), an APRIORI PEI block of its own, and where it defines
# the kit's folder.
SHAPES = {
    "no-rules": dict(volumes=["PEIFV"], own_peim=False, apriori=True, kit_dir="dsc"),
    "own-apriori": dict(volumes=["PEIFV"], own_peim=True, apriori=True, kit_dir="option"),
    "after-inf": dict(volumes=["PEIFV"], own_peim=True, apriori=False, kit_dir="dsc"),
    "two-volumes": dict(volumes=["PEIFV", "PEIFV2"], own_peim=False, apriori=False,
                        kit_dir="option"),
}

VOLUME_ATTRIBUTES = """\
  FvAlignment        = 16
  # The module's sections are compared with the shipped bytes, so the volumes are not rebased.
  FvForceRebase      = FALSE
  ERASE_POLARITY     = 1
  MEMORY_MAPPED      = TRUE
  STICKY_WRITE       = TRUE
  LOCK_CAP           = TRUE
  LOCK_STATUS        = TRUE
  WRITE_DISABLED_CAP = TRUE
  WRITE_ENABLED_CAP  = TRUE
  WRITE_STATUS       = TRUE
  WRITE_LOCK_CAP     = TRUE
  WRITE_LOCK_STATUS  = TRUE
  READ_DISABLED_CAP  = TRUE
  READ_ENABLED_CAP   = TRUE
  READ_STATUS        = TRUE
  READ_LOCK_CAP      = TRUE
  READ_LOCK_STATUS   = TRUE
"""

# The platform's own rules for PEIMs, built and binary, which the kit's rule must leave alone.
PLATFORM_RULES = """\
[Rule.Common.PEIM]
  FILE PEIM = $(NAMED_GUID) {
    PEI_DEPEX PEI_DEPEX Optional $(INF_OUTPUT)/$(MODULE_NAME).depex
    TE        TE                 $(INF_OUTPUT)/$(MODULE_NAME).efi
    UI        STRING="$(MODULE_NAME)" Optional
  }

[Rule.Common.PEIM.BINARY]
  FILE PEIM = $(NAMED_GUID) {
    PEI_DEPEX PEI_DEPEX Optional |.depex
    TE        TE                 |.efi
    UI        STRING="$(MODULE_NAME)" Optional
  }
"""

VOLUME_SIZE = 0x20000


def fail(message):
    print(f"edk2_platform: {message}")
    sys.exit(1)


def read_inf_binaries(inf):
    """The INF's [Binaries.IA32] lines (TYPE|FILE|TARGET), type to file name."""
    binaries, section = {}, None
    for line in inf.read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line.startswith("["):
            section = line
        elif section == "[Binaries.IA32]" and line:
            kind, name = line.split("|")[:2]
            binaries[kind] = name
    return binaries


def copy_kit(kit, ui_name, destination):
    """The kit as an integrator copies it: the INF, its fragments and what the INF names."""
    destination.mkdir(parents=True)
    inf = kit / f"{ui_name}.inf"
    names = [inf.name] + [f"{ui_name}.{f}.inc" for f in ("fdf", "apriori.fdf", "rules.fdf")]
    for name in names + list(read_inf_binaries(inf).values()):
        if not (kit / name).is_file():
            fail(f"{kit / name} is missing: the kit names it")
        shutil.copy(kit / name, destination / name)


def write_platform(work, shape, kit, ui_name):
    """The platform's DSC and FDF, and its own PEIM when the shape has one."""
    platform = work / "KitPlatform"
    platform.mkdir()
    components = ["  $(BOARDINIT_KIT_DIR)/%s.inf" % ui_name]
    if shape["own_peim"]:
        peim = platform / "PlatformPeim"
        peim.mkdir()
        binaries = read_inf_binaries(kit / f"{ui_name}.inf")
        shutil.copy(kit / binaries["PE32"], peim / "platformpeim.efi")
        shutil.copy(kit / binaries["PEI_DEPEX"], peim / "platformpeim.depex")
        (peim / "PlatformPeim.inf").write_text(
            "[Defines]\n  INF_VERSION = 0x00010005\n  BASE_NAME = PlatformPeim\n"
            f"  FILE_GUID = {PLATFORM_PEIM_GUID}\n  MODULE_TYPE = PEIM\n"
            "  VERSION_STRING = 1.0\n\n[Binaries.IA32]\n  PE32|platformpeim.efi|*\n"
            "  PEI_DEPEX|platformpeim.depex|*\n")
        components.insert(0, "  KitPlatform/PlatformPeim/PlatformPeim.inf")
    defines = ""
    if shape["kit_dir"] == "dsc":
        defines = f"  DEFINE BOARDINIT_KIT_DIR       = {KIT_DIR}\n"
    (platform / "KitPlatform.dsc").write_text(
        "[Defines]\n  PLATFORM_NAME           = KitPlatform\n"
        "  PLATFORM_GUID           = 5B1E4C3A-7D20-4F6B-9C8E-2A4D6F8B0C11\n"
        "  PLATFORM_VERSION        = 0.1\n  DSC_SPECIFICATION       = 0x00010005\n"
        "  OUTPUT_DIRECTORY        = Build/KitPlatform\n  SUPPORTED_ARCHITECTURES = IA32\n"
        "  BUILD_TARGETS           = RELEASE\n  SKUID_IDENTIFIER        = DEFAULT\n"
        "  FLASH_DEFINITION        = KitPlatform/KitPlatform.fdf\n" + defines +
        "\n[Components.IA32]\n" + "\n".join(components) + "\n")

    volumes = shape["volumes"]
    size = VOLUME_SIZE * len(volumes)
    fdf = [f"[FD.KitPlatform]\n  BaseAddress   = 0xFF000000\n  Size          = {size:#x}\n"
           "  ErasePolarity = 1\n  BlockSize     = 0x1000\n"
           f"  NumBlocks     = {size // 0x1000:#x}\n"]
    for index, volume in enumerate(volumes):
        fdf.append(f"{index * VOLUME_SIZE:#010x}|{VOLUME_SIZE:#010x}\nFV = {volume}\n")
    for volume in volumes:
        lines = [f"[FV.{volume}]\n{VOLUME_ATTRIBUTES}"]
        if shape["apriori"]:
            own = "    INF KitPlatform/PlatformPeim/PlatformPeim.inf\n" if shape["own_peim"] else ""
            lines.append(f"  APRIORI PEI {{\n{own}"
                         f"!include $(BOARDINIT_KIT_DIR)/{ui_name}.apriori.fdf.inc\n  }}\n")
        if shape["own_peim"]:
            lines.append("  INF KitPlatform/PlatformPeim/PlatformPeim.inf\n")
        lines.append(f"!include $(BOARDINIT_KIT_DIR)/{ui_name}.fdf.inc\n")
        fdf.append("\n".join(lines))
    if shape["own_peim"]:
        fdf.append(PLATFORM_RULES)
    fdf.append(f"!include $(BOARDINIT_KIT_DIR)/{ui_name}.rules.fdf.inc\n")
    (platform / "KitPlatform.fdf").write_text("\n".join(fdf))


def run_build(edk2, work, shape, log):
    """EDK2's build on the platform; its output goes to LOG, its tail to ours on failure."""
    environment = dict(os.environ, WORKSPACE=str(work), PACKAGES_PATH=f"{work}:{edk2}",
                       EDK_TOOLS_PATH=str(edk2 / "BaseTools"), CONF_PATH=str(work / "Conf"),
                       PYTHONPATH=str(edk2 / "BaseTools/Source/Python"))
    (work / "Conf").mkdir()
    options = f"-D BOARDINIT_KIT_DIR={KIT_DIR}" if shape["kit_dir"] == "option" else ""
    script = (f'cd "{edk2}" && . ./edksetup.sh BaseTools && cd "{work}" && '
              f"build -p KitPlatform/KitPlatform.dsc -a IA32 -t GCC -b RELEASE -n 1 {options}")
    with open(log, "w") as out:
        status = subprocess.run(["bash", "-c", script], env=environment, stdout=out,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL).returncode
    if status != 0:
        tail = pathlib.Path(log).read_text().splitlines()[-25:]
        fail(f"EDK2's build failed ({status}); the end of {log}:\n" + "\n".join(tail))


def read_info(folder):
    info = {}
    for line in (folder / "info.txt").read_text(errors="replace").splitlines():
        key, _, value = line.partition(": ")
        info.setdefault(key, value)
    return info


def extract(fd, uefiextract):
    """UEFIExtract's dump of the image: the volumes, each a list of its files' folders."""
    subprocess.run([uefiextract, fd.name, "all"], cwd=fd.parent, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    volumes = []
    for folder in sorted((fd.parent / f"{fd.name}.dump").rglob("info.txt")):
        if read_info(folder.parent).get("Type") == "Volume":
            volumes.append([child for child in sorted(folder.parent.iterdir())
                            if child.is_dir() and read_info(child).get("Type") == "File"])
    return volumes


def check_shape(name, shape, args, kit, edk2):
    work = args.work / name
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    copy_kit(kit, args.ui_name, work / KIT_DIR)
    write_platform(work, shape, kit, args.ui_name)
    run_build(edk2, work, shape, work / "build.log")
    fd = work / "Build/KitPlatform/RELEASE_GCC/FV/KITPLATFORM.fd"
    volumes = extract(fd, args.uefiextract)
    shipped = {"file": args.ffs.read_bytes(), args.code_section: args.code.read_bytes(),
               "PEI dependency": args.depex.read_bytes()}
    problems = []
    if len(volumes) != len(shape["volumes"]):
        problems.append(f"{len(volumes)} volumes, expected {len(shape['volumes'])}")
    for index, files in enumerate(volumes):
        ours = [f for f in files if read_info(f).get("File GUID") == args.guid]
        if len(ours) != 1:
            problems.append(f"volume {index} holds the module's file {len(ours)} times")
            continue
        sections = {}
        for section in sorted(p for p in ours[0].iterdir() if p.is_dir()):
            sections.setdefault(read_info(section)["Subtype"], []).append(section)
        found = {"file": b"".join((ours[0] / n).read_bytes() for n in ("header.bin", "body.bin"))}
        for subtype in (args.code_section, "PEI dependency"):
            if len(sections.get(subtype, [])) != 1:
                problems.append(f"volume {index}: {len(sections.get(subtype, []))} "
                                f"{subtype} sections, expected 1")
            else:
                found[subtype] = (sections[subtype][0] / "body.bin").read_bytes()
        problems += [f"volume {index}: the {what} differs from the shipped one"
                     for what in found if found[what] != shipped[what]]
        problems += apriori_problems(index, files, shape, args)
    for problem in problems:
        print(f"edk2_platform: {name}: {problem}")
    if not problems:
        print(f"edk2_platform: {name}: {len(volumes)} volume(s), each holding the module's file "
              "once, the shipped FFS file with the shipped code and depex sections")
    return not problems


def apriori_problems(index, files, shape, args):
    """The apriori file's GUIDs: the platform's own entry, then the kit's when it has one."""
    apriori = [f for f in files if read_info(f).get("File GUID") == APRIORI_FILE_GUID]
    if not shape["apriori"]:
        return [f"volume {index} has an apriori file"] if apriori else []
    if len(apriori) != 1:
        return [f"volume {index} holds {len(apriori)} apriori files, expected 1"]
    expected = ([PLATFORM_PEIM_GUID] if shape["own_peim"] else []) + \
        ([args.guid] if args.before_memory else [])
    raw = next(p for p in sorted(apriori[0].iterdir()) if p.is_dir()) / "body.bin"
    data = raw.read_bytes() if raw.exists() else b""  # UEFIExtract writes no empty body
    listed = [format_guid(data[i:i + 16]) for i in range(0, len(data), 16)]
    return [] if listed == expected else [f"volume {index}: apriori lists {listed}, "
                                          f"expected {expected}"]


def format_guid(raw):
    fields = (int.from_bytes(raw[0:4], "little"), int.from_bytes(raw[4:6], "little"),
              int.from_bytes(raw[6:8], "little"), raw[8:10].hex(), raw[10:16].hex())
    return ("%08X-%04X-%04X-%s-%s" % fields).upper()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kit", type=pathlib.Path, required=True, help="the kit's folder")
    parser.add_argument("--ui-name", required=True)
    parser.add_argument("--guid", required=True, help="the module's file GUID")
    parser.add_argument("--ffs", type=pathlib.Path, required=True, help="the shipped FFS file")
    parser.add_argument("--code", type=pathlib.Path, required=True,
                        help="the shipped code section's image (TE, or PE32)")
    parser.add_argument("--code-section", required=True, choices=["TE image", "PE32 image"])
    parser.add_argument("--depex", type=pathlib.Path, required=True)
    parser.add_argument("--before-memory", choices=["yes", "no"], required=True)
    parser.add_argument("--uefiextract", required=True)
    parser.add_argument("--work", type=pathlib.Path, required=True)
    args = parser.parse_args()
    args.before_memory = args.before_memory == "yes"
    if not args.uefiextract:
        fail("UEFIExtract was not found when the tree was configured: install uefitool-cli")

    tree = os.environ.get("EDK2_TREE", "")
    if not tree:
        reason = ("EDK2_TREE is not set: set it to an EDK2 tree (BaseTools with its C tools "
                  "built, Conf, MdePkg); EDK2_TREE=$(scripts/edk2-tree.sh) makes one")
        if os.environ.get("CI") == "true":
            fail(reason)
        print(f"edk2_platform: skipped: {reason}")
        return SKIPPED
    edk2 = pathlib.Path(tree).resolve()
    if not all((edk2 / p).is_file() for p in ("edksetup.sh", "BaseTools/Source/C/bin/GenFw")):
        fail(f"EDK2_TREE {edk2} has no edksetup.sh or no built BaseTools/Source/C/bin/GenFw")
    results = [check_shape(name, shape, args, args.kit, edk2) for name, shape in SHAPES.items()]
    print(f"edk2_platform: {results.count(True)} passed, {results.count(False)} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
