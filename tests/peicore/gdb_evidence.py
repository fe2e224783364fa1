# Run inside gdb (gdb -batch -x this file) against QEMU's GDB stub, with PEI_CORE_* settings in
# the environment. Stops at the module's entry, follows it to its return and prints one
# "evidence KEY VALUE" line per fact; the boot driver judges them. The QEMU log records the
# module's port writes only from the entry until the write after the last legacy GPIO register
# is read from the module's table (guest errors logged for every bus poll would slow the module
# tenfold); the trace event and the log are switched through the monitor.
import os
import time

import gdb

env = os.environ
entry = int(env["PEI_CORE_ENTRY"], 0)
image_low = int(env["PEI_CORE_IMAGE_LOW"], 0)
image_high = int(env["PEI_CORE_IMAGE_HIGH"], 0)
last_register = int(env["PEI_CORE_LAST_LEGACY_REGISTER"], 0)
PEI_SERVICES_SIGNATURE = 0x5652455320494550  # "PEI SERV"
GET_HOB_LIST_AT = 0x30  # in EFI_PEI_SERVICES (32-bit)
OUT_OPCODES = (0xE6, 0xE7, 0xEE, 0xEF)


def say(key, value):
    print("evidence %s %s" % (key, value), flush=True)


def reg(name):
    return int(gdb.parse_and_eval("$" + name)) & 0xFFFFFFFF


def read(address, size):
    return int.from_bytes(gdb.selected_inferior().read_memory(address, size).tobytes(), "little")


def step_past_out():
    for _ in range(64):
        eip = reg("eip")
        opcode = read(eip, 1)
        if opcode == 0x66:
            opcode = read(eip + 1, 1)
        gdb.execute("stepi", to_string=True)
        if opcode in OUT_OPCODES:
            return True
    return False


gdb.execute("set pagination off")
gdb.execute("set architecture i386", to_string=True)
gdb.execute("target remote :" + env["PEI_CORE_GDB_PORT"], to_string=True)
gdb.execute("hbreak *%#x" % entry, to_string=True)
gdb.execute("continue", to_string=True)
started = time.monotonic()
esp = reg("esp")
say("entry", "%#x" % reg("eip"))
services_pointer = read(esp + 8, 4)
table = read(services_pointer, 4)
say("services-signature", "%#x" % read(table, 8))
get_hob_list = read(table + GET_HOB_LIST_AT, 4)
return_address = read(esp, 4)
gdb.execute("delete", to_string=True)

gdb.execute("monitor log guest_errors", to_string=True)
gdb.execute("monitor trace-event memory_region_ops_write on", to_string=True)
gdb.execute("rwatch *(unsigned short *)%#x" % last_register, to_string=True)
gdb.execute("continue", to_string=True)
if reg("eip") >= image_low and reg("eip") < image_high and step_past_out():
    say("legacy-writes-logged", "yes")
gdb.execute("monitor trace-event memory_region_ops_write off", to_string=True)
gdb.execute("monitor log none", to_string=True)
gdb.execute("delete", to_string=True)

gdb.execute("hbreak *%#x" % get_hob_list, to_string=True)
gdb.execute("hbreak *%#x" % return_address, to_string=True)
while True:
    gdb.execute("continue", to_string=True)
    if reg("eip") != get_hob_list:
        break
    caller = read(reg("esp"), 4)
    inside = image_low <= caller < image_high
    say("get-hob-list-from", "%#x %s" % (caller, "inside" if inside else "outside"))
elapsed = time.monotonic() - started
say("return-at", "%#x" % reg("eip"))
say("return-eax", "%#x" % reg("eax"))
balanced = reg("esp") == esp + 4
say("stack-balanced", "yes" if balanced else "no (%#x at entry, %#x after)" % (esp, reg("esp")))
say("entry-to-return-seconds", "%.2f" % elapsed)
gdb.execute("delete", to_string=True)
gdb.execute("detach", to_string=True)
