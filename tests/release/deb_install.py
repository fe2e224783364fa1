#!/usr/bin/env python3
"""The .deb as an integrator takes it: made by CPack, unpacked into a scratch root with dpkg -x,
its declared dependencies and its manifest checked, and its boardsim run on the default board
and on a board file from outside any tree, finding its own data below the root; its Python module
imported from where Debian's Python looks, running the same image, with its pytest plugin found.
Usage: deb_install.py CPACK BUILD_DIR BOARDS_DIR"""
import hashlib
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

CPACK, BUILD_DIR, BOARDS_DIR = sys.argv[1:4]


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


class DebInstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        work = pathlib.Path(cls.work.name)
        made = subprocess.run([CPACK, "-G", "DEB", "--config", f"{BUILD_DIR}/CPackConfig.cmake",
                               "-B", str(work / "package")], capture_output=True, text=True)
        debs = list((work / "package").glob("boardinit_*_amd64.deb"))
        if made.returncode != 0 or len(debs) != 1:
            raise AssertionError(f"cpack made no boardinit_<version>_amd64.deb:\n{made.stdout}"
                                 f"{made.stderr}")
        cls.deb = debs[0]
        subprocess.run(["dpkg", "-x", str(cls.deb), str(work / "root")], check=True)
        cls.usr = work / "root/usr"
        cls.data = cls.usr / "share/boardinit"
        cls.boardsim = cls.usr / "bin/boardsim"
        cls.image = cls.data / "firmware/boardinit.efi"
        manifests = list(cls.data.glob("boardinit-*-manifest.json"))
        if len(manifests) != 1:
            raise AssertionError(f"not one release manifest: {manifests}")
        cls.manifest_path = manifests[0]
        cls.manifest = json.loads(cls.manifest_path.read_text())

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_declares_the_libraries_boardsim_links(self):
        depends = subprocess.run(["dpkg-deb", "-f", str(self.deb), "Depends"],
                                 capture_output=True, text=True, check=True).stdout
        for package in ("libunicorn2", "libnettle8", "libstdc++6", "libc6"):
            with self.subTest(package):
                self.assertIn(package, depends)

    def test_the_manifest_holds_for_every_file(self):
        unpacked = {str(p.relative_to(self.usr)) for p in self.usr.rglob("*") if p.is_file()}
        listed = {entry["path"]: entry for entry in self.manifest["files"]}
        self.assertEqual(set(listed), unpacked - {str(self.manifest_path.relative_to(self.usr))})
        for path, entry in listed.items():
            with self.subTest(path):
                self.assertEqual((entry["size"], entry["sha256"]),
                                 ((self.usr / path).stat().st_size, sha256(self.usr / path)))
        self.assertIs(self.manifest["reproducibility"]["identical"], True)

    def test_version_is_the_manifests_with_the_installed_images_sha256(self):
        done = subprocess.run([self.boardsim, "--version"], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(done.stdout.splitlines(), [
            f"boardsim {self.manifest['version']} build {self.manifest['build_number']}",
            f"image    {self.image}", f"sha256   {sha256(self.image)}"])

    def test_runs_the_installed_image_on_the_default_board_and_one_from_elsewhere(self):
        with tempfile.TemporaryDirectory() as elsewhere:
            board = json.loads((pathlib.Path(BOARDS_DIR) / "default.json").read_text())
            board["name"] = "integrators-board"
            mine = pathlib.Path(elsewhere) / "mine.json"
            mine.write_text(json.dumps(board))
            for args, board_line in (
                    ([], f"board     default ({self.data}/boards/default.json)"),
                    (["--board", str(mine)], f"board     integrators-board ({mine})")):
                with self.subTest(args=args):
                    done = subprocess.run([self.boardsim, "run", *args], capture_output=True,
                                          text=True)
                    lines = done.stdout.splitlines()
                    self.assertEqual(done.returncode, 0, done.stderr)
                    # The header's other lines (the board's description, the faults) come and go
                    # with the board; these three are what the installed tool must get right.
                    self.assertEqual(lines[0], board_line)
                    self.assertIn(f"module    image {self.image}", lines)
                    self.assertIn("status    EFI_SUCCESS", lines)

    def test_python_module_runs_the_installed_image(self):
        packages = self.usr / "lib/python3/dist-packages"
        program = ("import boardsim, importlib.metadata as m\n"
                   "run = boardsim.run()\n"
                   "print(run.status, run.module, boardsim.where()[0])\n"
                   "print([e.value for e in m.entry_points(group='pytest11')\n"
                   "       if e.dist.name == 'boardsim'])\n")
        # Nothing written into the unpacked root: the manifest's test reads it whole.
        env = {"PYTHONPATH": str(packages), "PYTHONDONTWRITEBYTECODE": "1"}
        # A sanitized build's module needs the sanitizer's runtime loaded first.
        if os.environ.get("BOARDINIT_PYTHON_PRELOAD"):
            env.update(LD_PRELOAD=os.environ["BOARDINIT_PYTHON_PRELOAD"],
                       ASAN_OPTIONS="detect_leaks=0")
        done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                              env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.splitlines(), [
            f"EFI_SUCCESS image {self.image} {self.data}/boards",
            "['boardsim.pytest_plugin']"])
        self.assertTrue((packages / "boardsim/__init__.pyi").is_file())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
