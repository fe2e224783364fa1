#!/usr/bin/env python3
"""Turns the DWARF of an i386 PE image's linkage names into attributes GDB ignores.

The image's C++ functions carry MSVC-decorated linkage names, which GDB cannot demangle: it then
knows a function only by that name, and `break ProgramPadTable` finds nothing. With the linkage
name out of the way GDB names each function from its DW_AT_name and scope. Only attribute codes
in .debug_abbrev change, each to one of the same encoded length, so no offset moves and no byte
of code or data is touched.

usage: DwarfPlainNames.py IMAGE
"""
import struct
import sys

LINKAGE_NAMES = {0x6E: 0x5A, 0x2007: 0x2001}  # linkage_name -> description, MIPS_linkage_name -> MIPS_fde
IMPLICIT_CONST = 0x21


def uleb(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, at


def sleb_end(data, at):
    while data[at] & 0x80:
        at += 1
    return at + 1


def encode_uleb(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def find_section(image, wanted):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    count, = struct.unpack_from("<H", image, pe + 6)
    symbols, symbol_count = struct.unpack_from("<II", image, pe + 12)
    optional_size, = struct.unpack_from("<H", image, pe + 20)
    table = pe + 24 + optional_size
    strings = symbols + 18 * symbol_count
    for index in range(count):
        entry = table + 40 * index
        name = image[entry:entry + 8].rstrip(b"\0")
        if name.startswith(b"/"):
            start = strings + int(name[1:])
            name = image[start:image.index(b"\0", start)]
        if name.decode() == wanted:
            size, _, raw_size, raw_at = struct.unpack_from("<IIII", image, entry + 8)
            return raw_at, min(size, raw_size)
    sys.exit(f"DwarfPlainNames.py: no {wanted} section")


def main():
    path = sys.argv[1]
    image = bytearray(open(path, "rb").read())
    start, size = find_section(image, ".debug_abbrev")
    at, end, changed = start, start + size, 0
    while at < end:
        code, at = uleb(image, at)
        if code == 0:
            continue  # the end of one unit's table
        _, at = uleb(image, at)  # tag
        at += 1  # children
        while True:
            attribute_at = at
            attribute, at = uleb(image, at)
            form, at = uleb(image, at)
            if form == IMPLICIT_CONST:
                at = sleb_end(image, at)
            if attribute == 0 and form == 0:
                break
            if attribute in LINKAGE_NAMES:
                replacement = encode_uleb(LINKAGE_NAMES[attribute])
                assert len(replacement) == len(encode_uleb(attribute))
                image[attribute_at:attribute_at + len(replacement)] = replacement
                changed += 1
    open(path, "wb").write(image)
    if changed == 0:
        sys.exit(f"DwarfPlainNames.py: {path}: no linkage name found; has the DWARF changed?")


main()
