#!/usr/bin/env python3
"""Seeded line-level mutation campaign over firmware/.

Picks --count lines of the module's sources (seeded, reproducible), makes one mutant on each
(a relational operator flipped, an integer constant moved by one, a statement deleted, '&' and '|'
swapped, an if condition negated so that its branches swap), builds the test suite without
sanitizers in its own build folder, runs it, and puts the file back. Reports the share of
compiled mutants that the suite killed, per folder of firmware/, and every survivor with its line.

A survivor that no test could ever tell apart from the original (no observable difference) is
marked on its line, or on a comment line directly above it:
    // mutant-equivalent: why            every mutant of the line
    // mutant-equivalent(constant): why  only mutants of the named kinds (comma-separated)
    // mutant-equivalent(constant#3): why  only those of the third integer literal of the line
Marked mutants are not generated, so the tool stops reporting them.

Slow (a build and a suite run per mutant) and not part of CI. Files are restored on Ctrl-C; a run
killed harder is repaired at the start of the next one.
"""

import argparse
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FIRMWARE = ROOT / "firmware"
KINDS = ("relational", "constant", "delete", "bitwise", "branch")
# What the suite needs: the test binary (it depends on every image the tests read) and the tool.
TARGETS = ("unit_tests", "boardsim")

RELATIONAL = {
    "==": ["!="],
    "!=": ["=="],
    "<": ["<=", ">="],
    "<=": ["<", ">"],
    ">": [">=", "<="],
    ">=": [">", "<"],
}
BITWISE = {"&": "|", "|": "&", "&=": "|=", "|=": "&="}

MARK = re.compile(r"//\s*mutant-equivalent(?:\(([\w ,#-]+)\))?:")
# clang-format puts spaces around binary operators; template brackets, '->', '<<', '&&' and unary
# '&' never stand alone like this.
RELATIONAL_TOKEN = re.compile(r"(?<= )(==|!=|<=|>=|<|>)(?= )")
BITWISE_TOKEN = re.compile(r"(?<= )(&=|\|=|&|\|)(?= )")
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])")
IF = re.compile(r"\bif \(")
LABEL = re.compile(r"^(case\b.*|default|public|private|protected):$")
DECLARATION = re.compile(
    r"^(const|constexpr|static|typedef|using|extern|struct|class|enum|namespace|template|"
    r"friend|inline)\b|^[A-Za-z_][\w:]*(<[^;=]*>)?[ *&]+[A-Za-z_]\w*\s*[=\[{;(]")


@dataclass
class Mutant:
    path: Path  # relative to ROOT
    line: int  # 1-based
    kind: str
    column: int  # 0-based, in the original line
    old: str
    new: str
    key: str
    why: str = ""  # the first error or failing test, for the log

    def describe(self):
        if self.kind == "delete":
            return "statement deleted"
        if self.kind == "branch":
            return "condition negated"
        return f"'{self.old}' -> '{self.new}'"

    def folder(self):
        return self.path.relative_to("firmware").parts[0]


def code_only(text):
    """The text with comments and string or character literals blanked, positions kept."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out[i] = " "
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            for j in range(i, end):
                if text[j] != "\n":
                    out[j] = " "
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            for k in range(i, min(j + 1, n)):
                out[k] = " "
            i = j + 1
        else:
            i += 1
    return "".join(out)


def marked_kinds(lines, index):
    """What is marked equivalent for lines[index], on the line itself or a comment line above:
    (kind, None) for every mutant of a kind, (kind, n) for those of its n-th operator or literal."""
    kinds = set()
    candidates = [lines[index]]
    above = index - 1
    while above >= 0 and lines[above].strip().startswith("//"):
        candidates.append(lines[above])
        above -= 1
    for text in candidates:
        for match in MARK.finditer(text):
            named = match.group(1)
            if named is None:
                kinds |= {(kind, None) for kind in KINDS}
                continue
            for item in named.split(","):
                kind, _, occurrence = item.strip().partition("#")
                kinds.add((kind, int(occurrence) if occurrence else None))
    return kinds


def moved_by_one(literal, delta):
    if literal.lower().startswith("0x"):
        digits = literal[2:]
        value = int(digits, 16) + delta
        text = f"{value:0{len(digits)}X}"
        return literal[:2] + (text if digits == digits.upper() else text.lower())
    return str(int(literal) + delta)


def statement_starts_here(code_lines, index):
    for above in range(index - 1, -1, -1):
        text = code_lines[above].strip()
        if text:
            return text.endswith((";", "{", "}")) or LABEL.match(text) is not None
    return True


def line_mutants(path, lines, code_lines, index):
    code = code_lines[index]
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "static_assert")):
        return []
    skip = marked_kinds(lines, index)
    found = []

    def add(kind, column, old, new, occurrence=1):
        if (kind, None) not in skip and (kind, occurrence) not in skip:
            found.append((kind, column, old, new))

    for n, match in enumerate(RELATIONAL_TOKEN.finditer(code), 1):
        for new in RELATIONAL[match.group(1)]:
            add("relational", match.start(), match.group(1), new, n)
    for n, match in enumerate(BITWISE_TOKEN.finditer(code), 1):
        add("bitwise", match.start(), match.group(1), BITWISE[match.group(1)], n)
    for n, match in enumerate(INTEGER.finditer(code), 1):
        literal = match.group(1)
        for delta in (1, -1):
            if int(literal, 0 if literal[:2].lower() == "0x" else 10) + delta >= 0:
                add("constant", match.start(1), literal, moved_by_one(literal, delta), n)
    if (stripped.endswith(";") and not stripped.startswith(("}", ";")) and
            (stripped.startswith(("return", "break", "continue")) or
             not DECLARATION.search(stripped)) and statement_starts_here(code_lines, index)):
        add("delete", code.index(stripped[0]), stripped, "")
    for n, match in enumerate(IF.finditer(code), 1):
        open_at = match.end() - 1
        depth = 0
        for j in range(open_at, len(code)):
            depth += {"(": 1, ")": -1}.get(code[j], 0)
            if depth == 0:
                condition = lines[index][open_at + 1:j]
                add("branch", open_at, f"({condition})", f"(!({condition}))", n)
                break
    return found


def digest(*parts):
    return hashlib.sha256("\0".join(str(p) for p in parts).encode()).hexdigest()


def generate(seed, count):
    """count mutants on count distinct lines. Lines are ranked by a hash of the seed and their own
    text, so an edit elsewhere does not reshuffle the campaign."""
    lines_found = []
    for path in sorted(p for p in FIRMWARE.rglob("*") if p.suffix in (".cpp", ".h")):
        text = path.read_text()
        lines = text.split("\n")
        code_lines = code_only(text).split("\n")
        seen = {}
        for index in range(len(lines)):
            mutants = line_mutants(path, lines, code_lines, index)
            if not mutants:
                continue
            content = lines[index].strip()
            seen[content] = seen.get(content, 0) + 1
            line_key = digest(seed, path.relative_to(ROOT), content, seen[content])
            lines_found.append((line_key, path, index, mutants))
    lines_found.sort(key=lambda item: item[0])
    chosen = []
    for line_key, path, index, mutants in lines_found[:count]:
        kind, column, old, new = min(mutants, key=lambda m: digest(line_key, *m))
        chosen.append(Mutant(path.relative_to(ROOT), index + 1, kind, column, old, new, line_key))
    # Run in rank order: the first N mutants of a campaign are the whole campaign of --count N.
    return chosen


def apply(mutant, original):
    lines = original.split("\n")
    text = lines[mutant.line - 1]
    if mutant.kind == "delete":
        lines[mutant.line - 1] = text[:mutant.column] + "// (deleted)"
    else:
        assert text[mutant.column:mutant.column + len(mutant.old)] == mutant.old
        lines[mutant.line - 1] = (text[:mutant.column] + mutant.new +
                                  text[mutant.column + len(mutant.old):])
    return "\n".join(lines)


def run(command, timeout=None, cwd=None):
    """Runs a command in a session of its own, so that an interrupt or a time-out ends the
    compilers or tests it started too, not just the command itself."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True, errors="replace", cwd=cwd, start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise
    return subprocess.CompletedProcess(command, process.returncode, output)


class Workspace:
    """The build folder, and the one source file that may be mutated at a time. The original is
    journalled before the mutant is written, so that a run killed outright is repaired later."""

    def __init__(self, build_dir, jobs, timeout):
        self.build_dir = build_dir
        self.jobs = jobs
        self.timeout = timeout
        self.journal = build_dir / "mutant-in-progress.json"

    def repair(self):
        if self.journal.exists():
            entry = json.loads(self.journal.read_text())
            (ROOT / entry["path"]).write_text(entry["original"])
            self.journal.unlink()
            print(f"mutate: restored {entry['path']} left mutated by an interrupted run")

    def configure(self):
        self.build_dir.mkdir(parents=True, exist_ok=True)
        self.repair()
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(self.build_dir), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBOARDINIT_SANITIZE=OFF"],
                       check=True, stdout=subprocess.DEVNULL)

    def build(self):
        command = ["cmake", "--build", str(self.build_dir), "-j", str(self.jobs), "--target",
                   *TARGETS]
        return run(command)

    def run_suite(self):
        """True when every test passes. The GoogleTest cases run first in one process that stops
        at the first failure, which is where most mutants die; then the other registered tests
        (their names have no dot). A run past the time limit counts as a failure."""
        unit_tests = [str(self.build_dir / "tests" / "unit_tests"), "--gtest_fail_fast",
                      "--gtest_brief=1"]
        others = ["ctest", "--test-dir", str(self.build_dir), "-j", str(self.jobs),
                  "--stop-on-failure", "--timeout", str(self.timeout), "-E", "[.]"]
        for command in (unit_tests, others):
            try:
                result = run(command, timeout=self.timeout * 4, cwd=self.build_dir)
            except subprocess.TimeoutExpired:
                self.last_output = f"{command[0]}: no end after {self.timeout * 4} s"
                return False
            self.last_output = result.stdout
            if result.returncode != 0:
                return False
        return True

    def try_mutant(self, mutant):
        path = ROOT / mutant.path
        original = path.read_text()
        self.journal.write_text(json.dumps({"path": str(mutant.path), "original": original}))
        try:
            path.write_text(apply(mutant, original))
            build = self.build()
            if build.returncode != 0:
                errors = [l for l in build.stdout.splitlines() if "error:" in l]
                mutant.why = (errors or ["build failed"])[0].strip()
                return "not compiled"
            if self.run_suite():
                return "survived"
            failed = [l for l in self.last_output.splitlines()
                      if l.startswith("[  FAILED  ]") or "***" in l or "no end after" in l]
            mutant.why = (failed or ["suite failed"])[0].strip()
            return "killed"
        finally:
            path.write_text(original)
            self.journal.unlink()


def report(results, out):
    folders = sorted({m.folder() for m, _ in results})
    out.write(f"{'folder':10} {'killed':>6} {'of':>4} {'score':>7} {'not compiled':>13}\n")
    totals = [0, 0, 0]
    for folder in folders + ["all"]:
        rows = [(m, r) for m, r in results if folder in ("all", m.folder())]
        killed = sum(r == "killed" for _, r in rows)
        compiled = sum(r != "not compiled" for _, r in rows)
        broken = len(rows) - compiled
        score = f"{100 * killed / compiled:.0f} %" if compiled else "-"
        out.write(f"{folder + '/' if folder != 'all' else 'all':10} {killed:6} {compiled:4} "
                  f"{score:>7} {broken:13}\n")
        if folder == "all":
            totals = [killed, compiled, broken]
    survivors = [m for m, r in results if r == "survived"]
    out.write(f"\nsurvivors: {len(survivors)}\n")
    for m in survivors:
        source = (ROOT / m.path).read_text().split("\n")[m.line - 1].strip()
        out.write(f"  {m.path}:{m.line}: {m.kind}: {m.describe()}\n      {source}\n")
    return totals


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", default="1", help="campaign seed (default 1)")
    parser.add_argument("--count", type=int, default=80,
                        help="mutants, one per line (default 80); a smaller count runs the first "
                        "mutants of the larger campaign")
    parser.add_argument("--only", action="append", default=[],
                        help="run only mutants whose path contains this (may be repeated)")
    parser.add_argument("--list", action="store_true", help="list the mutants and stop")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    parser.add_argument("--timeout", type=int, default=120, help="seconds per test (default 120)")
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "mutate")
    parser.add_argument("--report", type=Path, help="also write the report to this file")
    args = parser.parse_args()

    mutants = [m for m in generate(args.seed, args.count)
               if not args.only or any(text in str(m.path) for text in args.only)]
    if args.list:
        for m in mutants:
            print(f"{m.path}:{m.line}: {m.kind}: {m.describe()}")
        return 0

    # Ctrl-C and a polite kill both unwind through the restore below.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, signal.default_int_handler)
    workspace = Workspace(args.build_dir.resolve(), args.jobs, args.timeout)
    workspace.configure()
    started = time.monotonic()
    if workspace.build().returncode != 0:
        print("mutate: the unmutated sources do not build", file=sys.stderr)
        return 2
    if not workspace.run_suite():
        print("mutate: the suite fails without any mutant:", file=sys.stderr)
        print(workspace.last_output[-3000:], file=sys.stderr)
        return 2

    results = []
    try:
        for number, mutant in enumerate(mutants, 1):
            begun = time.monotonic()
            outcome = workspace.try_mutant(mutant)
            results.append((mutant, outcome))
            print(f"[{number}/{len(mutants)}] {outcome:12} {mutant.path}:{mutant.line}: "
                  f"{mutant.kind}: {mutant.describe()} ({time.monotonic() - begun:.0f} s)",
                  flush=True)
            if mutant.why:
                print(f"      {mutant.why[:150]}", flush=True)
    except KeyboardInterrupt:
        print("\nmutate: interrupted; sources restored, partial results follow", file=sys.stderr)
    finally:
        # Leave the build folder matching the sources again.
        workspace.build()

    print(f"\nseed {args.seed}, {len(results)} mutants, "
          f"{(time.monotonic() - started) / 60:.0f} min\n")
    report(results, sys.stdout)
    if args.report:
        with open(args.report, "w") as out:
            out.write(f"seed {args.seed}, {len(results)} mutants\n\n")
            report(results, out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
