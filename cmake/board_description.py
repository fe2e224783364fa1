"""Reads and checks a board description (module.json): what differs in the module from board to
board.

Every error is one line naming the file, the place (table and row, or key) and the field, so
that a port's author finds the mistake without reading this code. BoardTables.py turns a checked
description into the module's constant tables.
"""
import json

COMMUNITIES = (0x0000, 0x1000, 0x2000)  # in the order the GPIO pass applies their tables
PADS_PER_COMMUNITY = 256  # 16 bytes a pad in a 0x1000-byte community
KEEP = 0xFF  # a field that leaves its bits as they are
DIRECTIONS = {"output": 0, "input": 2, "off": 6, "keep": KEEP}
LEVELS = {"low": 0, "high": 1, "keep": KEEP}
ROW_FIELDS = ("pad", "function", "direction", "output", "pull", "nibble")
ROW_RANGES = {"function": (0, 7), "pull": (0, 6), "nibble": (0, 15)}
STEP_PADS = ("level_pad", "when_low_set", "when_low_clear", "set_after_register",
             "clear_after_settle")
TOP_KEYS = {"name", "description", "early_pads", "pad_tables", "board_step"}


class DescriptionError(Exception):
    """One line: the file, where in it, and what is wrong."""


class Reader:
    def __init__(self, path):
        self.path = path

    def fail(self, where, message):
        raise DescriptionError(f"{self.path}: {where}: {message}")

    def number(self, where, value, low, high):
        """A number written in decimal or as a "0x..." string, within [low, high]."""
        if isinstance(value, str) and value.lower().startswith("0x"):
            try:
                value = int(value, 16)
            except ValueError:
                self.fail(where, f"{value!r} is not a hex number")
        if isinstance(value, bool) or not isinstance(value, int):
            self.fail(where, f"{json.dumps(value)} is not a number")
        if not low <= value <= high:
            self.fail(where, f"{value} is out of range ({low}-{high})")
        return value

    def community(self, where, value):
        community = self.number(where, value, 0, 0xFFFFFFFF)
        if community not in COMMUNITIES:
            self.fail(where, f"no community at {value} (0x0000, 0x1000 or 0x2000)")
        return community

    def pad(self, where, community, value):
        pad = self.number(where, value, 0, 0xFFFFFFFF)
        if pad >= PADS_PER_COMMUNITY:
            self.fail(where, f"pad {pad} does not exist in community 0x{community:04X} "
                             f"(pads 0-{PADS_PER_COMMUNITY - 1})")
        return pad

    def pad_reference(self, where, value):
        """A pad named as boardsim's --pads names it: "COMMUNITY:PAD"."""
        if not isinstance(value, str) or value.count(":") != 1:
            self.fail(where, f"{json.dumps(value)} is not COMMUNITY:PAD (\"0x0000:93\")")
        community_text, pad_text = value.split(":")
        community = self.community(where, community_text)
        pad_value = int(pad_text) if pad_text.isdigit() else pad_text
        return community, self.pad(where, community, pad_value)

    def named(self, where, value, names):
        if value not in names:
            self.fail(where, f"{json.dumps(value)} is not one of {', '.join(names)}")
        return names[value]

    def keys(self, where, obj, required, optional=()):
        if not isinstance(obj, dict):
            self.fail(where, "expected an object")
        for key in required:
            if key not in obj:
                self.fail(where, f"missing required field {key}")
        for key in obj:
            if key not in required and key not in optional:
                self.fail(where, f"unknown field {key}")


def reject_duplicate_keys(reader):
    def hook(pairs):
        seen = {}
        for key, value in pairs:
            if key in seen:
                reader.fail(key, "listed twice in one object")
            seen[key] = value
        return seen
    return hook


def read_row(reader, community, index, row):
    where = f"pad_tables {community:#06x}, row {index}"
    reader.keys(where, row, ROW_FIELDS, ("note",))
    checked = {"pad": reader.pad(f"{where}, field pad", community, row["pad"])}
    for field, (low, high) in ROW_RANGES.items():
        checked[field] = reader.number(f"{where}, field {field}", row[field], low, high)
    checked["direction"] = reader.named(f"{where}, field direction", row["direction"], DIRECTIONS)
    checked["output"] = reader.named(f"{where}, field output", row["output"], LEVELS)
    checked["note"] = row.get("note", "")
    return checked


def read_table(reader, key, rows):
    community = reader.community(f"pad_tables {key}", key)
    if not isinstance(rows, list) or not rows:
        reader.fail(f"pad_tables {key}", "expected a list of at least one row")
    table, first_row = [], {}
    for index, row in enumerate(rows):
        checked = read_row(reader, community, index, row)
        if checked["pad"] in first_row:
            reader.fail(f"pad_tables {key}, row {index}, field pad",
                        f"pad {checked['pad']} listed twice (first in row {first_row[checked['pad']]})")
        first_row[checked["pad"]] = index
        table.append(checked)
    return community, table


def read_tables(reader, tables):
    reader.keys("pad_tables", tables, tuple(f"0x{c:04X}" for c in COMMUNITIES))
    return dict(read_table(reader, key, rows) for key, rows in tables.items())


def read_early_pads(reader, early):
    reader.keys("early_pads", early, ("community", "configuration", "pads"))
    community = reader.community("early_pads, field community", early["community"])
    pads = early["pads"]
    if not isinstance(pads, list) or not pads:
        reader.fail("early_pads, field pads", "expected a list of at least one pad")
    checked = []
    for index, value in enumerate(pads):
        pad = reader.pad(f"early_pads, pad {index}", community, value)
        if pad in checked:
            reader.fail(f"early_pads, pad {index}", f"pad {pad} listed twice")
        checked.append(pad)
    configuration = reader.number("early_pads, field configuration", early["configuration"],
                                  0, 0xFFFFFFFF)
    return {"community": community, "configuration": configuration,
            "pads": checked}


def read_board_step(reader, step):
    reader.keys("board_step", step, STEP_PADS + ("variant5_register", "variant5_bit", "settle_us"))
    checked = {key: reader.pad_reference(f"board_step, field {key}", step[key]) for key in STEP_PADS}
    checked["variant5_register"] = reader.number("board_step, field variant5_register",
                                                 step["variant5_register"], 0, 0xFF)
    bit = reader.number("board_step, field variant5_bit", step["variant5_bit"], 1, 0x80)
    if bit & (bit - 1):
        reader.fail("board_step, field variant5_bit", f"0x{bit:02X} is not a single bit")
    checked["variant5_bit"] = bit
    checked["settle_us"] = reader.number("board_step, field settle_us", step["settle_us"],
                                         0, 0xFFFFFFFF)
    return checked


def read_description(path):
    """The checked description, or DescriptionError."""
    reader = Reader(path)
    try:
        with open(path, encoding="utf-8") as file:
            document = json.load(file, object_pairs_hook=reject_duplicate_keys(reader))
    except OSError as error:
        raise DescriptionError(f"{path}: cannot be read: {error.strerror}") from None
    except json.JSONDecodeError as error:
        raise DescriptionError(f"{path}:{error.lineno}:{error.colno}: {error.msg}") from None
    reader.keys("the description", document, tuple(sorted(TOP_KEYS - {"description"})),
                ("description",))
    return {"name": document["name"],
            "early_pads": read_early_pads(reader, document["early_pads"]),
            "pad_tables": read_tables(reader, document["pad_tables"]),
            "board_step": read_board_step(reader, document["board_step"])}
