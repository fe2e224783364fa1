#!/usr/bin/env python3
"""The figures of README.md and docs/ that the build or a run of the tool produces, put there by
running the build's own tools: summaries, the size report, a GDB session, the board table.

  scripts/docs_figures.py                     print each figure
  scripts/docs_figures.py --write             put them into README.md and docs/
  scripts/docs_figures.py --check             fail when a page differs from the build (a test does)

A block is written between <!-- figure:NAME --> and <!-- /figure:NAME -->, a figure inside a
sentence as <!--figure:NAME-->text<!--/figure:NAME-->. Paths are shown from the top of the tree
("..."), and the build directory as build/release, the one scripts/run.sh makes.
"""
import argparse
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
PAGES = ["README.md", "docs/boardsim.md", "docs/run.md", "docs/summary.md", "docs/op.md", "docs/image.md",
         "docs/debugging.md", "docs/board-files.md", "docs/sweep.md", "docs/pmic-library.md",
         "docs/trace.md", "docs/expect.md", "docs/python.md"]
MARK = re.compile(r"(<!-- ?figure:([a-z0-9-]+) ?-->)(.*?)(<!-- ?/figure:\2 ?-->)", re.S)

# The session of docs/debugging.md: its commands, typed one after the other.
GDB_SESSION = ["break ProgramPadTable", "continue", "print 'ConfigureSocGpio.cpp'::BoardPadTables",
               "print PadTable1000[0]", "delete", "break PmicWriteRegister", "continue", "next",
               "next", "step", "monitor trace 5", "continue"]
# Going back, on the same board: its commands, typed one after the other.
GDB_REVERSE_SESSION = ["break I2cWriteRegister if Register == 0x30", "continue", "reverse-stepi",
                       "reverse-stepi", "stepi 2", "break PmicReadRegister", "reverse-continue",
                       "next", "watch -location value", "continue", "reverse-continue",
                       "monitor checkpoints", "monitor goto access 1000", "monitor trace 1",
                       "delete", "continue"]
# docs/python.md's session, typed into the interpreter line by line.
PYTHON_SESSION = ["import boardsim", "run = boardsim.run()",
                  'run.status, run.accesses, run.pads["0x0000:93"].after.fields.level',
                  '[t.aborted for t in boardsim.run(faults=["byte-refused@2"]).transactions]',
                  'boardsim.op("variant6", "ReadVoltage").returned']
# The README shows the reverse session up to its first reverse-continue.
GDB_REVERSE_SHORT = GDB_REVERSE_SESSION.index("reverse-continue") + 1
GDB_LINE_WIDTH = 100


class Build:
    def __init__(self, directory, gdb, preload=None):
        self.directory = pathlib.Path(directory).resolve()
        self.boardsim = self.directory / "tools" / "boardsim"
        self.gdb = gdb
        self.preload = preload  # what python3 must load first to import a sanitized module

    def shown(self, text):
        """Paths as the pages show them: from the top of the tree, the build as build/release."""
        text = text.replace(str(self.directory), str(ROOT / "build" / "release"))
        return text.replace(str(ROOT), "...")

    def tool(self, *args, status=0):
        done = subprocess.run([str(self.boardsim), *args], capture_output=True, text=True)
        if done.returncode != status:
            sys.exit(f"docs_figures: boardsim {' '.join(args)} exited {done.returncode}: "
                     f"{done.stderr.strip()}")
        return self.shown(done.stdout)


def code(text):
    return "```\n" + text.rstrip("\n") + "\n```\n"


def fit(line):
    """A line of GDB's as a page holds it: a frame's place on a line of its own, the rest cut."""
    if len(line) <= GDB_LINE_WIDTH:
        return [line]
    frame, at, place = line.rpartition(" at ...")
    if at and len(place) < GDB_LINE_WIDTH:
        return fit(frame) + ["    at ..." + place]
    return [line[:GDB_LINE_WIDTH - 4] + " ..."]


def gdb_session(build, session):
    """A GDB session on the default board: the server's terminal as it shows it, what GDB printed
    on connecting, and each command of the session with the lines GDB printed for it."""
    server = subprocess.Popen([str(build.boardsim), "run", "--gdb", ":0"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    first = [server.stderr.readline(), server.stderr.readline()]
    port = re.search(r"127\.0\.0\.1:(\d+)$", first[0].strip())
    symbols = first[1].strip().removeprefix("boardsim: symbols: ")
    if not port or not symbols.startswith("symbol-file"):
        server.kill()
        sys.exit("docs_figures: boardsim run --gdb did not say where it listens: " + "".join(first))
    # Each command is announced on a line of its own, so that its output can be told apart.
    # The server answers qOffsets, so the twin loaded as GDB's file needs no offset.
    twin = symbols.split(" ", 3)[3]
    script = [f"echo @@@target remote :{port.group(1)}\\n", f"file {twin}",
              f"target remote :{port.group(1)}"]
    for command in session:
        script += [f"echo @@@{command}\\n", command]
    with tempfile.NamedTemporaryFile("w", suffix=".gdb") as commands:
        commands.write("\n".join(script) + "\n")
        commands.flush()
        done = subprocess.run([build.gdb, "-nx", "-batch", "-x", commands.name],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              timeout=300)
    server.communicate(timeout=300)
    parts = []
    for part in build.shown(done.stdout).replace("\t", "  ").split("@@@")[1:]:
        command, _, output = part.partition("\n")
        parts.append((command,
                      [fitted for line in output.splitlines() if line.strip()
                       for fitted in fit(line)]))
    if [command for command, _ in parts[1:]] != session:
        sys.exit("docs_figures: GDB did not run every command of the session")
    terminal = [line.strip().replace(f":{port.group(1)}", ":1234") for line in first]
    host = "$ build/release/tools/boardsim run --gdb :1234\n" + "\n".join(terminal)
    return build.shown(host), parts[0][1], parts[1:]


def transcript(commands):
    return "\n".join(line for command, lines in commands for line in ["(gdb) " + command] + lines)


def board_table(build):
    rows = ["| board | what it shows |", "|---|---|"]
    for line in build.tool("boards").splitlines():
        name, description = line.split(None, 1)
        rows.append(f"| `{name}` | {description.replace('|', chr(92) + '|')} |")
    return "\n".join(rows) + "\n"


def sweep_counts(build):
    listed = json.loads(build.tool("sweep", "--host", "--list-points", "--json"))
    boots = sum(1 for t in listed["targets"] if t["run"] == "boot")
    points = sum(len(t["points"]) + t["not_carried"] for t in listed["targets"])
    return boots, len(listed["targets"]) - boots, points


def slowest_bus(build):
    """The slowest bus clock at which the default board's boot still draws its waveform."""
    board = json.loads((ROOT / "boards" / "default.json").read_text())
    controller = board.setdefault("i2c_controller", {})

    def drawn(hz):
        controller["bus_hz"] = hz
        with tempfile.TemporaryDirectory() as work:
            path = pathlib.Path(work) / "board.json"
            path.write_text(json.dumps(board))
            done = subprocess.run([str(build.boardsim), "run", "--host", "--board", str(path),
                                   "--vcd", str(pathlib.Path(work) / "bus.vcd")],
                                  capture_output=True, text=True)
        if done.returncode not in (0, 2):
            sys.exit(f"docs_figures: a boot at bus_hz {hz} exited {done.returncode}")
        return done.returncode == 0

    refused, drawn_at = 1, 400000
    if drawn(refused) or not drawn(drawn_at):
        sys.exit("docs_figures: the default board's waveform has no slowest bus clock")
    while drawn_at - refused > 1:
        middle = (refused + drawn_at) // 2
        refused, drawn_at = (refused, middle) if drawn(middle) else (middle, drawn_at)
    return f"{drawn_at} Hz"


def python_session(build):
    """PYTHON_SESSION as the interpreter shows it, with the build's module: each line, then the
    value of an expression."""
    program = ("import sys\nfor line in sys.argv[1:]:\n    print('>>> ' + line)\n"
               "    try:\n        value = eval(line)\n    except SyntaxError:\n"
               "        exec(line)\n    else:\n        print(repr(value))\n")
    env = {"PYTHONPATH": str(build.directory / "python")}
    if build.preload:
        env.update(LD_PRELOAD=build.preload, ASAN_OPTIONS="detect_leaks=0")
    done = subprocess.run([sys.executable, "-c", program, *PYTHON_SESSION], capture_output=True,
                          text=True, env=env)
    if done.returncode != 0:
        sys.exit(f"docs_figures: the Python session exited {done.returncode}: "
                 f"{done.stderr.strip()}")
    return code(build.shown(done.stdout))


def expect_figures(build):
    """The reference board's expectations, met on it and unmet on a board whose pad 93 is high."""
    path = ROOT / "examples" / "reference-board" / "expect.json"
    shown = "examples/reference-board/expect.json"
    met = build.tool("run", "--expect", str(path)).splitlines()[-1]
    unmet = build.tool("run", "--board", "variant5-pad93-high", "--expect", str(path), status=1)
    verdicts = [line for line in unmet.splitlines() if ": expected " in line]
    return {
        "expect-reference": "```json\n" + path.read_text() + "```\n",
        "expect-met": code(f"$ boardsim run --expect {shown}\n...\n" + met),
        "expect-unmet": code(f"$ boardsim run --board variant5-pad93-high --expect {shown}\n...\n" +
                             "\n".join(verdicts)),
    }


# The sanitizers' runtimes, which a sanitizer build's boardsim links and the shipped one does not.
SANITIZER_RUNTIMES = re.compile(r"lib(asan|ubsan|lsan|tsan)\d+$")


def package_figures(build):
    """The .deb and .tar.gz as CPack makes them from this build: their sizes and the Depends
    dpkg-shlibdeps finds. A sanitizer build's boardsim is not the one that ships: it is larger, so
    there the sizes are left as the page has them, and it links the sanitizers' runtimes, which its
    Depends leaves out (every other library is the shipped tool's)."""
    cache = (build.directory / "CMakeCache.txt").read_text()
    sanitized = re.search(r"^BOARDINIT_SANITIZE:BOOL=ON$", cache, re.M) is not None
    with tempfile.TemporaryDirectory() as folder:
        generators = ["-G", "DEB"] if sanitized else []
        made = subprocess.run(["cpack", *generators, "--config",
                               str(build.directory / "CPackConfig.cmake"), "-B", folder],
                              capture_output=True, text=True)
        debs = list(pathlib.Path(folder).glob("boardinit_*_amd64.deb"))
        archives = list(pathlib.Path(folder).glob("boardinit-*.tar.gz"))
        if made.returncode != 0 or len(debs) != 1 or len(archives) != (0 if sanitized else 1):
            sys.exit("docs_figures: cpack made no .deb and .tar.gz: " + made.stderr.strip())
        depends = subprocess.run(["dpkg-deb", "-f", str(debs[0]), "Depends"], capture_output=True,
                                 text=True, check=True).stdout.strip()
        sizes = [p.stat().st_size / 1e6 for p in (*debs, *archives)]
    names = [re.match(r"[\w.+-]+", part.strip()).group(0) for part in depends.split(",")]
    if sanitized:
        print("docs_figures: the package sizes are not checked in a sanitizer build")
        names = [name for name in names if not SANITIZER_RUNTIMES.match(name)]
    return {
        "package-depends": ", ".join(f"`{name}`" for name in names),
        # To a tenth of a megabyte: the archives' compression moves their last bytes build to build.
        "package-sizes": None if sanitized else f"{sizes[0]:.1f} MB and {sizes[1]:.1f} MB",
    }


def version_figure(build):
    """--version as the installed tool prints it: the installed image is the build's, byte for
    byte, so only its path differs."""
    text = build.tool("--version")
    text = re.sub(r"^image +.*$", "image    /usr/share/boardinit/firmware/boardinit.efi", text,
                  flags=re.M)
    return code(text)


def figures(build):
    default = build.tool("run")
    summary = dict(re.findall(r"^(\w+) +(.*)$", default, re.M))
    pads = re.match(r"(\d+) changed: (\d+) in configuration, (\d+) in direction, (\d+) in level",
                    summary["pads"])
    host, connected, session = gdb_session(build, GDB_SESSION)
    gdb = ("$ gdb -q -ex 'file build/release/image/boardinit.debug.efi' -ex 'target remote :1234'\n"
           + "\n".join(connected + [transcript(session)]))
    _, _, reverse = gdb_session(build, GDB_REVERSE_SESSION)
    # What a whole boot keeps: the checkpoints listed once the run has gone to its last access.
    _, _, whole = gdb_session(build, ["monitor goto access 101810", "monitor checkpoints",
                                      "continue"])
    kept = re.match(r"(\d+) checkpoints, one every \d+ accesses, ([\d.]+ MiB)", whole[1][1][0])
    boots, slot_calls, points = sweep_counts(build)
    size_report = pathlib.Path(build.directory / "image" / "boardinit-size.txt").read_text()
    failed_read = build.tool("op", "--board", "variant6", "ReadVoltage", "--fault",
                             "device-stops-acknowledging:0x5E@12")
    trace = build.tool("run", "--trace", "-").splitlines()
    faulted_args = ["run", "--fault", "pad-reads-all-ones:0xFED0D130@2", "--fault", "byte-refused@6",
                    "--fault", "timer-frozen@200000"]
    faulted = build.tool(*faulted_args).splitlines()
    faulted_head = [line for line in faulted if re.match(r"(faults|  |status)", line)]
    return {
        "faulted-run": code("$ boardsim " + " ".join(faulted_args) + "\n...\n" +
                            "\n".join(faulted_head[:faulted_head.index(next(
                                l for l in faulted_head if l.startswith("status"))) + 1])),
        "default-run": code(default),
        "trace-head": code("\n".join(trace[1:3])),
        "default-time": summary["time"].split(" of ")[0],
        "default-slowest-bus": slowest_bus(build),
        "default-pads-changed": pads.group(1),
        "default-pads-configuration": pads.group(2),
        "default-pads-direction": pads.group(3),
        "default-pads-level": pads.group(4),
        "op-getidentity": code("$ boardsim op GetIdentity\n" + build.tool("op", "GetIdentity")),
        "size-report": code(build.shown(size_report)),
        "gdb-host": code(host),
        "gdb-session": code(gdb),
        "gdb-reverse-session": code(transcript(reverse)),
        "gdb-reverse-short": code(transcript(reverse[:GDB_REVERSE_SHORT])),
        "boot-checkpoints": kept.group(1),
        "boot-checkpoint-memory": kept.group(2),
        "board-table": board_table(build),
        "complete-board": "```json\n" + build.tool("board", "--check", "default") + "```\n",
        "sweep-boots": str(boots),
        "sweep-slot-calls": str(slot_calls),
        "sweep-points": f"{points:,}",
        "failed-result-read": re.search(r"^returned +(\d+) mV$", failed_read, re.M).group(1),
        "python-session": python_session(build),
        **expect_figures(build),
        **package_figures(build),
        "version": version_figure(build),
    }


def render(text, values, page):
    used = set()

    def fill(match):
        name = match.group(2)
        if name not in values:
            sys.exit(f"docs_figures: {page} names a figure no run produces: {name}")
        used.add(name)
        inside = values[name]
        if inside is None:  # not made by this build: the page keeps what it says
            return match.group(0)
        if "\n" in inside:
            inside = "\n" + inside
        return match.group(1) + inside + match.group(4)

    return MARK.sub(fill, text), used


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=ROOT / "build" / "release",
                        help="the build directory whose tool and image make the figures")
    parser.add_argument("--gdb", default=shutil.which("gdb") or "gdb")
    parser.add_argument("--python-preload", metavar="LIB",
                        help="a library python3 loads first (the sanitizer runtime of a sanitized "
                             "build's Python module)")
    action = parser.add_mutually_exclusive_group()
    action.add_argument("--write", action="store_true")
    action.add_argument("--check", action="store_true")
    args = parser.parse_args()
    values = figures(Build(args.build, args.gdb, args.python_preload))
    if not (args.write or args.check):
        for name, value in values.items():
            print(f"--- {name}\n{value}")
        return
    differ, used = [], set()
    for page in PAGES:
        path = ROOT / page
        text = path.read_text()
        rendered, names = render(text, values, page)
        used |= names
        if rendered != text:
            if args.write:
                path.write_text(rendered)
            differ.append(f"{page} ({', '.join(sorted(changed(text, rendered)))})")
    unused = sorted(set(values) - used)
    if unused:
        sys.exit("docs_figures: figures no page shows: " + ", ".join(unused))
    if args.check and differ:
        sys.exit("docs_figures: figures that differ from the build in " + "; ".join(differ) +
                 "; run scripts/docs_figures.py --write")
    print(f"docs_figures: {len(values)} figures, " +
          (f"{len(differ)} pages written" if args.write else "every page agrees with the build"))


def changed(before, after):
    """The names whose text differs between two renderings of a page."""
    old = {m.group(2): m.group(3) for m in MARK.finditer(before)}
    new = {m.group(2): m.group(3) for m in MARK.finditer(after)}
    return {n for n in new if old.get(n) != new[n]}


if __name__ == "__main__":
    main()
