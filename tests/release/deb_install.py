#!/usr/bin/env python3
"""The .deb as an integrator takes it: made by CPack, unpacked into a scratch root with dpkg -x,
its declared dependencies and its manifest checked, and its boardsim run on the default board
and on a board file from outside any tree, finding its own data below the root."""
import hashlib
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile

cpack, build_dir, boards_dir = sys.argv[1:4]
work = pathlib.Path(tempfile.mkdtemp())
failures = []


def check(what, condition):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


made = subprocess.run([cpack, "-G", "DEB", "--config", f"{build_dir}/CPackConfig.cmake",
                       "-B", str(work / "package")], capture_output=True, text=True)
debs = list((work / "package").glob("boardinit_*_amd64.deb"))
check("cpack makes boardinit_<version>_amd64.deb", made.returncode == 0 and len(debs) == 1)
if failures:
    print(made.stdout, made.stderr)
    sys.exit(1)
deb = debs[0]
depends = subprocess.run(["dpkg-deb", "-f", str(deb), "Depends"], capture_output=True,
                         text=True).stdout
for package in ("libunicorn2", "libnettle8", "libstdc++6", "libc6"):
    check(f"the package depends on {package}", package in depends)

root = work / "root"
subprocess.run(["dpkg", "-x", str(deb), str(root)], check=True)
usr = root / "usr"
data = usr / "share/boardinit"

manifests = list(data.glob("boardinit-*-manifest.json"))
check("one release manifest", len(manifests) == 1)
manifest = json.loads(manifests[0].read_text())
listed = {entry["path"]: entry for entry in manifest["files"]}
unpacked = {str(p.relative_to(usr)) for p in usr.rglob("*") if p.is_file()} - {
    str(manifests[0].relative_to(usr))}
check("the manifest lists every file of the package", set(listed) == unpacked)
wrong = [path for path, entry in listed.items() if (usr / path).is_file() and (
    entry["size"] != (usr / path).stat().st_size or entry["sha256"] != sha256(usr / path))]
check("every size and SHA-256 in the manifest holds" + (f", not for {wrong[:3]}" if wrong else ""),
      not wrong)
check("the manifest reports the two builds byte-identical",
      manifest["reproducibility"]["identical"] is True)

boardsim = usr / "bin/boardsim"
image = data / "firmware/boardinit.efi"
version = subprocess.run([boardsim, "--version"], capture_output=True, text=True)
check("--version names the installed image and its SHA-256",
      version.returncode == 0 and
      version.stdout.splitlines()[1:] == [f"image    {image}", f"sha256   {sha256(image)}"])
check("--version is the manifest's version and build number",
      version.stdout.startswith(
          f"boardsim {manifest['version']} build {manifest['build_number']}\n"))

elsewhere = pathlib.Path(tempfile.mkdtemp())
board = json.loads((pathlib.Path(boards_dir) / "default.json").read_text())
board["name"] = "integrators-board"
(elsewhere / "mine.json").write_text(json.dumps(board))
for args, board_line in (([], f"board     default ({data}/boards/default.json)"),
                         (["--board", str(elsewhere / "mine.json")],
                          f"board     integrators-board ({elsewhere}/mine.json)")):
    done = subprocess.run([boardsim, "run", *args], capture_output=True, text=True)
    lines = done.stdout.splitlines()
    check(f"run {' '.join(args)}: the installed image returns EFI_SUCCESS",
          done.returncode == 0 and "status    EFI_SUCCESS" in lines)
    check(f"run {' '.join(args)}: {board_line}", lines[:2] == [board_line, f"module    image {image}"])

shutil.rmtree(work)
shutil.rmtree(elsewhere)
print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
