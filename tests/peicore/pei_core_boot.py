#!/usr/bin/env python3
"""Boots the module inside a real PEI core: Debian's 32-bit OVMF under qemu-system-i386.

Boots the unmodified firmware once for reference, then the firmware with the module's FFS file
placed into its PEI volume (by place_peim), once dispatched before memory (run in place, from
the apriori file) and once after memory (loaded and relocated by the PEI core). From what QEMU
shows (its GDB stub, its log of guest errors, the trace event memory_region_ops_write and the
serial console) it requires: the entry reached where the module lies, the PEI services table's
signature, GetHobList called from inside the module, EFI_SUCCESS returned with the stack
balanced, the legacy GPIO port writes in the host build's order, and the boot reaching the same
shell prompt with the same boot-manager lines as the reference. Exit status 0 when all hold.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

OVMF_PACKAGE_FILES = ("/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd",
                      "/usr/share/OVMF/OVMF32_VARS_4M.fd")
RAM_BYTES = 128 << 20
SHELL_PROMPT = "Shell> "
PEI_SERVICES_SIGNATURE = 0x5652455320494550
LEGACY_GPIO_PORTS = range(0x500, 0x59C)
# fw_cfg's selector sits at port 0x510 on this machine; QEMU logs a refused access to it by its
# offset in the device's region.
REGION_BASES = {"fwcfg": 0x510}
TRACED_WRITE = re.compile(r"memory_region_ops_write .* addr (0x[0-9a-f]+) value (0x[0-9a-f]+)")
REFUSED_WRITE = re.compile(r"Invalid write at addr (0x[0-9A-Fa-f]+), size \d+, region '(\w+)'")
ANSI = re.compile(r"\x1b\[[0-9;=?]*[A-Za-z]")
HERE = Path(__file__).resolve().parent


class Failure(Exception):
    pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def serial_text(path):
    return ANSI.sub("", path.read_bytes().decode("latin-1")) if path.exists() else ""


def boot_manager_lines(text):
    return [line.strip() for line in text.splitlines() if line.strip().startswith("BdsDxe:")]


class Qemu:
    """One boot: the firmware in pflash, no disk, no network, serial to a file."""

    def __init__(self, args, name, firmware, gdb_port=None):
        self.work = args.work
        self.name = name
        self.serial = args.work / (name + "-serial.log")
        self.log = args.work / (name + "-qemu.log")
        self.monitor_path = args.work / (name + "-monitor.sock")
        for stale in (self.serial, self.log, self.monitor_path):
            stale.unlink(missing_ok=True)
        variables = args.work / (name + "-vars.fd")
        shutil.copyfile(args.ovmf_vars, variables)
        command = [
            "qemu-system-i386", "-machine", "q35,smm=on", "-m", "%dM" % (RAM_BYTES >> 20),
            "-global", "driver=cfi.pflash01,property=secure,value=on",
            "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=%s" % firmware,
            "-drive", "if=pflash,format=raw,unit=1,file=%s" % variables,
            "-display", "none", "-serial", "file:%s" % self.serial, "-net", "none",
            "-monitor", "unix:%s,server=on,wait=off" % self.monitor_path, "-D", str(self.log)]
        if gdb_port:
            command += ["-gdb", "tcp:127.0.0.1:%d" % gdb_port, "-S"]
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def wait_for_shell(self, timeout):
        while time.monotonic() - self.started < timeout:
            if SHELL_PROMPT in serial_text(self.serial):
                return time.monotonic() - self.started
            if self.process.poll() is not None:
                raise Failure("%s: QEMU ended (status %d) before the shell prompt: %s" % (
                    self.name, self.process.returncode, self.process.stderr.read().decode()))
            time.sleep(0.2)
        raise Failure("%s: no shell prompt within %d s" % (self.name, timeout))

    def monitor(self, command):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(30)
            s.connect(str(self.monitor_path))
            reply = b""
            for text in (None, command):
                if text:
                    s.sendall(text.encode() + b"\n")
                while not reply.endswith(b"(qemu) "):
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    reply += chunk
                reply = b"" if text is None else reply

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stderr.close()


def expected_legacy_writes(args):
    trace = subprocess.run([args.boardsim, "run", "--host", "--trace", "-"], check=True,
                           capture_output=True, text=True, timeout=args.timeout).stdout
    writes = []
    for line in trace.splitlines():
        fields = line.split()
        if len(fields) == 6 and fields[2] == "OUT" and int(fields[4], 16) in LEGACY_GPIO_PORTS:
            writes.append((int(fields[4], 16), int(fields[5], 16)))
    if not writes:
        raise Failure("the host build wrote no legacy GPIO port on the default board")
    return writes


def legacy_table_rva(map_path):
    for line in Path(map_path).read_text().splitlines():
        if line.rstrip().endswith("::LegacyGpioRegisters"):
            return int(line.split()[0], 16)
    raise Failure("%s names no LegacyGpioRegisters table" % map_path)


def place(args, dispatch):
    firmware = args.work / ("%s.fd" % dispatch)
    started = time.monotonic()
    out = subprocess.run([args.place_peim, "--firmware", args.ovmf_code, "--ffs", args.ffs,
                          "--dispatch", dispatch, "--out", firmware], capture_output=True,
                         text=True, timeout=args.timeout)
    if out.returncode != 0:
        raise Failure(out.stderr.strip())
    facts = dict(line.split(": ", 1) for line in out.stdout.splitlines())
    facts["firmware"] = firmware
    print("pei-core: %s: module file at %s, compressed PEI volume %s bytes, placed in %.1f s" % (
        dispatch, facts["file-address"], facts["compressed"], time.monotonic() - started))
    return facts


def find_loaded_entry(args, facts, firmware):
    """The after-memory boot once without the debugger, to find where the PEI core loaded the
    module: the entry's bytes in RAM, where the image's header says it was relocated to."""
    qemu = Qemu(args, "after-memory-find", firmware)
    dump = args.work / "after-memory-ram.bin"
    text = facts["entry-pattern"]  # hex, ".." where a fixup changes the byte
    regex = re.compile(b"".join(b"." if text[i:i + 2] == ".." else
                                re.escape(bytes.fromhex(text[i:i + 2]))
                                for i in range(0, len(text), 2)), re.DOTALL)
    entry_rva = int(facts["entry-rva"], 0)
    header_rva = int(facts["header-rva"], 0)
    try:
        while time.monotonic() - qemu.started < args.timeout:
            time.sleep(2)
            qemu.monitor("pmemsave 0 %d \"%s\"" % (RAM_BYTES, dump))
            ram = dump.read_bytes()
            for match in regex.finditer(ram):
                base = match.start() - entry_rva
                header = base + header_rva
                if facts["code"] == "te":
                    relocated = ram[header:header + 2] == b"VZ" and \
                        int.from_bytes(ram[header + 16:header + 24], "little") == base
                else:
                    pe = base + int.from_bytes(ram[base + 0x3C:base + 0x40], "little")
                    relocated = ram[base:base + 2] == b"MZ" and \
                        int.from_bytes(ram[pe + 0x34:pe + 0x38], "little") == base
                if relocated:
                    print("pei-core: after-memory: found the loaded module %.1f s into a boot" % (
                        time.monotonic() - qemu.started))
                    return match.start()
        raise Failure("after-memory: the loaded module was not found in RAM")
    finally:
        qemu.stop()
        dump.unlink(missing_ok=True)


def boot_with_debugger(args, name, firmware, entry, image_size, table_rva, writes, reference):
    port = free_port()
    qemu = Qemu(args, name, firmware, gdb_port=port)
    low = entry - image_size[0]
    environment = dict(os.environ, PEI_CORE_GDB_PORT=str(port), PEI_CORE_ENTRY=hex(entry),
                       PEI_CORE_IMAGE_LOW=hex(low), PEI_CORE_IMAGE_HIGH=hex(low + image_size[1]),
                       PEI_CORE_LAST_LEGACY_REGISTER=hex(low + table_rva + 2 * (len(writes) - 1)))
    try:
        try:
            gdb = subprocess.run(["gdb", "-nx", "-batch", "-x", str(HERE / "gdb_evidence.py")],
                                 env=environment, capture_output=True, text=True,
                                 timeout=args.timeout)
        except subprocess.TimeoutExpired:
            raise Failure("%s: the debugger did not see the module return within %d s" % (
                name, args.timeout))
        evidence = {}
        calls = []
        for line in gdb.stdout.splitlines():
            if line.startswith("evidence "):
                _, key, value = line.split(" ", 2)
                print("pei-core: %s: %s %s" % (name, key, value))
                if key == "get-hob-list-from":
                    calls.append(value)
                evidence[key] = value
        if "return-eax" not in evidence:
            raise Failure("%s: the debugger session ended early:\n%s%s" % (
                name, gdb.stdout[-2000:], gdb.stderr[-2000:]))
        shell = qemu.wait_for_shell(args.timeout)
    finally:
        qemu.stop()
    problems = []
    if int(evidence["entry"], 0) != entry:
        problems.append("entry reached at %s, not %#x" % (evidence["entry"], entry))
    if int(evidence["services-signature"], 0) != PEI_SERVICES_SIGNATURE:
        problems.append("services table signature %s" % evidence["services-signature"])
    if not calls or any(not c.endswith(" inside") for c in calls):
        problems.append("GetHobList calls: %s" % (calls or "none"))
    if int(evidence["return-eax"], 0) != 0:
        problems.append("returned %s, not EFI_SUCCESS" % evidence["return-eax"])
    if evidence["stack-balanced"] != "yes":
        problems.append("stack not balanced: " + evidence["stack-balanced"])
    seen = logged_legacy_writes(qemu.log)
    print("pei-core: %s: legacy GPIO writes %s" % (
        name, " ".join("%#x=%s" % (p, "refused" if v is None else hex(v)) for p, v in seen)))
    if evidence.get("legacy-writes-logged") != "yes" or \
            [p for p, _ in seen] != [p for p, _ in writes] or \
            any(v is not None and v != w for (_, v), (_, w) in zip(seen, writes)):
        problems.append("legacy GPIO writes differ from the host build's %s" % (
            " ".join("%#x" % p for p, _ in writes)))
    lines = boot_manager_lines(serial_text(qemu.serial))
    if lines != reference:
        problems.append("boot-manager lines differ from the reference:\n  " + "\n  ".join(lines))
    if problems:
        raise Failure("%s: %s" % (name, "; ".join(problems)))
    print("pei-core: %s: boot to the shell prompt in %.1f s, module entry to return %s s" % (
        name, shell, evidence["entry-to-return-seconds"]))


def logged_legacy_writes(log):
    """Port writes in the legacy GPIO range, in order: (port, value), value None when refused."""
    writes = []
    text = log.read_text(errors="replace") if log.exists() else ""
    for line in text.splitlines():
        traced = TRACED_WRITE.match(line)
        refused = REFUSED_WRITE.match(line)
        if traced and int(traced.group(1), 16) in LEGACY_GPIO_PORTS:
            writes.append((int(traced.group(1), 16), int(traced.group(2), 16)))
        elif refused and refused.group(2) in REGION_BASES:
            port = REGION_BASES[refused.group(2)] + int(refused.group(1), 16)
            if port in LEGACY_GPIO_PORTS:
                writes.append((port, None))
    return writes


def require_tools(args):
    missing = [tool for tool, package in (("qemu-system-i386", "qemu-system-x86"), ("gdb", "gdb"))
               if shutil.which(tool) is None]
    missing += [str(f) for f in (args.ovmf_code, args.ovmf_vars, args.place_peim, args.ffs,
                                 args.map, args.boardsim) if not Path(f).is_file()]
    if missing:
        raise Failure("missing %s (scripts/setup.sh installs qemu-system-x86, ovmf-ia32 and "
                      "gdb; the build makes the rest)" % ", ".join(missing))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--place-peim", type=Path, required=True, help="the build's place_peim")
    parser.add_argument("--ffs", type=Path, required=True, help="the module's FFS file")
    parser.add_argument("--map", type=Path, required=True, help="the image's linker map")
    parser.add_argument("--boardsim", type=Path, required=True, help="for the host build's writes")
    parser.add_argument("--work", type=Path, required=True, help="for firmware copies and logs")
    parser.add_argument("--ovmf-code", type=Path, default=Path(OVMF_PACKAGE_FILES[0]))
    parser.add_argument("--ovmf-vars", type=Path, default=Path(OVMF_PACKAGE_FILES[1]))
    parser.add_argument("--timeout", type=int, default=180, help="seconds a boot may take")
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    try:
        require_tools(args)
        writes = expected_legacy_writes(args)
        table_rva = legacy_table_rva(args.map)
        reference = Qemu(args, "reference", args.ovmf_code)
        try:
            shell = reference.wait_for_shell(args.timeout)
        finally:
            reference.stop()
        lines = boot_manager_lines(serial_text(reference.serial))
        print("pei-core: reference: boot to the shell prompt in %.1f s; %d boot-manager lines" % (
            shell, len(lines)))
        if not lines:
            raise Failure("reference: no boot-manager lines on the console")

        facts = place(args, "before-memory")
        size = (int(facts["entry-rva"], 0), int(facts["image-size"], 0))
        boot_with_debugger(args, "before-memory", facts["firmware"],
                           int(facts["entry-address"], 0), size, table_rva, writes, lines)

        facts = place(args, "after-memory")
        size = (int(facts["entry-rva"], 0), int(facts["image-size"], 0))
        entry = find_loaded_entry(args, facts, facts["firmware"])
        print("pei-core: after-memory: the PEI core loaded the module's entry at %#x" % entry)
        boot_with_debugger(args, "after-memory", facts["firmware"], entry, size, table_rva,
                           writes, lines)
    except (Failure, subprocess.SubprocessError, OSError) as error:
        print("pei-core: FAILED: %s" % error, file=sys.stderr)
        return 1
    print("pei-core: passed in both dispatch modes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
