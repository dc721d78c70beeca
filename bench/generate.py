#!/usr/bin/env python3
"""Generates a large Z80 program for the benchmark, in the dialect of each
assembler that bench/run.sh compares.

The program is a megaROM: 16 KiB banks, each padded to its full size, made
of subroutines (every instruction family, indexed operands, local labels,
forward and backward jumps and calls), data tables, binary blobs and EQU
constants, spread over hundreds of include files. One program model is
rendered into every dialect, so that every assembler must produce the same
bytes.

Bank k is assembled for page k mod 4 (address (k mod 4) * 4000h): then a
linker that keeps the low 16 bits of an address can place bank k at offset
k * 4000h of the image, which is where the assemblers that write their
output in order put it. An assembler with a single 64 KiB memory image
(pasmo) ends up with the last bank of each page.

    generate.py --lines 100000 --out DIR

writes DIR/orbant, DIR/common (pasmo and z80asm), DIR/gas and DIR/sdas,
each holding main.asm or main.s, its includes and the blobs, plus the GNU
linker script and the sdas link file. --dialects NAME... writes only those.

    generate.py --macro-calls --lines 400000 --out DIR

writes instead DIR/orbant-macros/main.asm, for orbant --macros only: a few
macros (VDP and PSG writes, copies and waits with local labels, a REPT in a
body) and, for nearly all its lines, calls of them.

    generate.py --big-game --out DIR

writes instead DIR/orbant-game: a program of a big game's shape, for
orbant only (main.asm, about 300 sources in src, 260 binary files of 1 to
16 KiB in data; a 4 MiB image of 256 pages of 16 KiB).
"""

import argparse
import os
import random

BANK_SIZE = 0x4000
PAGE_COUNT = 4
# Each routine stays this small so that every relative jump inside it is in
# range, wherever its label is.
MAX_ROUTINE_BYTES = 110
# Room kept free in a bank for the largest item that may still be added.
BANK_RESERVE = 700
MODULE_LINES = 1000
BLOB_SIZES = [64, 128, 192, 256, 320, 384, 448, 512]

REG8 = ["b", "c", "d", "e", "h", "l", "a"]
REG16 = ["bc", "de", "hl", "sp"]
STACK16 = ["bc", "de", "hl", "af"]
INDEX = ["ix", "iy"]
CONDITIONS = ["nz", "z", "nc", "c", "po", "pe", "p", "m"]
RELATIVE_CONDITIONS = ["nz", "z", "nc", "c"]
ALU = ["add", "adc", "sub", "sbc", "and", "xor", "or", "cp"]
ALU_WITH_A = {"add", "adc", "sbc"}
SHIFTS = ["rlc", "rl", "rrc", "rr", "sla", "sra", "srl"]
BLOCK = ["ldi", "ldir", "ldd", "lddr", "cpi", "cpir", "cpd", "cpdr",
         "ini", "inir", "ind", "indr", "outi", "otir", "outd", "otdr"]
ONE_BYTE_MISC = ["daa", "cpl", "ccf", "scf", "nop", "di", "ei", "rlca", "rla", "rrca", "rra", "exx"]
TWO_BYTE_MISC = ["neg", "rld", "rrd"]
WORDS = ["init", "update", "draw", "sprite", "player", "enemy", "score", "sound", "tile", "scroll",
         "vdp", "psg", "map", "input", "timer", "palette", "text", "level", "bullet", "collision"]

# ---------------------------------------------------------------- expressions
# ("n", value, in_hex) | ("s", name) | (op, left, right) with op in "+-*"


def number(value, in_hex=False):
    return ("n", value, in_hex)


def symbol(name):
    return ("s", name)


class Dialect:
    """How one assembler spells the parts of the program model."""

    def __init__(self, name, extension, hex_style, sdas_syntax=False, local_labels=False):
        self.name = name
        self.extension = extension
        self.hex_style = hex_style
        self.sdas = sdas_syntax
        self.local_labels = local_labels

    def number(self, value, in_hex):
        if not in_hex:
            return str(value)
        digits = "%X" % value
        if self.hex_style == "0x":
            return "0x" + digits.lower()
        return ("0" + digits if digits[0] > "9" else digits) + "h"

    def expression(self, expr):
        kind = expr[0]
        if kind == "n":
            return self.number(expr[1], expr[2])
        if kind == "s":
            return expr[1]
        return self.expression(expr[1]) + kind + self.expression(expr[2])

    def label_name(self, routine, local):
        if local is None:
            return routine
        return "." + local if self.local_labels else routine + "_" + local

    def operand(self, operand):
        kind = operand[0]
        if kind == "r":  # register, condition or fixed operand text
            return operand[1]
        if kind == "i":  # immediate value
            return ("#" if self.sdas else "") + self.expression(operand[1])
        if kind == "m":  # memory or port at an address
            return "(" + self.expression(operand[1]) + ")"
        if kind == "x":  # indexed: register, displacement expression
            register, disp = operand[1], operand[2]
            if self.sdas:
                return self.expression(disp) + "(" + register + ")"
            if disp[0] == "n" and disp[1] < 0:
                return "(%s-%s)" % (register, self.number(-disp[1], disp[2]))
            return "(%s+%s)" % (register, self.expression(disp))
        if kind == "b":  # bit number, restart address, interrupt mode
            return str(operand[1])
        if kind == "l":  # jump target: routine, local name or None
            return self.label_name(operand[1], operand[2])
        raise ValueError(kind)

    def directive(self, word):
        return "." + word if self.sdas else word

    def equ(self, name, expr):
        if self.sdas:
            return "%s = %s" % (name, self.expression(expr))
        return "%s: equ %s" % (name, self.expression(expr))

    def include(self, file_name):
        return '\t%s "%s"' % (self.directive("include"), file_name)

    def data_lines(self, word, items):
        """db/dw lines; sdas takes strings with .ascii, so items are split there."""
        if not self.sdas:
            return ["\t%s %s" % (word, ",".join(self.data_item(item) for item in items))]
        lines, run = [], []
        for item in items:
            if item[0] == "str":
                if run:
                    lines.append("\t.%s %s" % (word, ",".join(run)))
                    run = []
                lines.append('\t.ascii "%s"' % item[1])
            else:
                run.append(self.data_item(item))
        if run:
            lines.append("\t.%s %s" % (word, ",".join(run)))
        return lines

    def data_item(self, item):
        return '"%s"' % item[1] if item[0] == "str" else self.expression(item)

    def fill(self, count):
        # sdas leaves reserved space out of the image, which makebin fills with
        # FFh: every dialect fills with FFh.
        if self.sdas:
            return "\t.ds %d" % count
        return "\tds %d,%s" % (count, self.number(0xFF, True))

    def incbin(self, file_name):
        return '\t%s "%s"' % (self.directive("incbin"), file_name)

    def bank_start(self, bank):
        if self.name == "gas":
            return '\t.section %s,"x"' % gas_section(bank)
        if self.sdas:
            return "\t.area %s" % sdas_area(bank)
        return "\torg %s" % self.number(page_address(bank), True)


DIALECTS = [
    Dialect("orbant", "asm", "h", local_labels=True),
    Dialect("common", "asm", "h"),
    Dialect("gas", "s", "0x"),
    Dialect("sdas", "s", "0x", sdas_syntax=True),
]


def page_address(bank):
    return (bank % PAGE_COUNT) * BANK_SIZE


def gas_section(bank):
    return ".bank%d" % bank  # COFF section names: at most 8 characters


def sdas_area(bank):
    return "BANK%d" % bank


# ---------------------------------------------------------------- program model
# A module is a list of entries:
#   ("comment", text) ("blank",) ("label", routine, local) ("equ", name, expr)
#   ("ins", mnemonic, operands, size, comment) ("data", word, items, size)
#   ("fill", count) ("incbin", file, size)
# Calls, jumps and table references between routines of a bank are chosen
# when the bank is complete: operands ("F", fraction) and ("T", fraction)
# pick a routine or table by position.


class Constants:
    def __init__(self, rng):
        self.entries = []
        self.byte_names = []
        self.port_names = []
        self.variables = []
        values = {}
        for i in range(160):
            name = "k_%s%d" % (rng.choice(WORDS), i)
            if i >= 8 and rng.random() < 0.3:
                base = rng.choice(self.byte_names)
                offset = rng.randint(0, 120 - values[base])
                expr = ("+", symbol(base), number(offset))
                values[name] = values[base] + offset
            else:
                values[name] = rng.randint(0, 120)
                expr = number(values[name], rng.random() < 0.5)
            self.entries.append(("equ", name, expr))
            self.byte_names.append(name)
        for i, port in enumerate([0x98, 0x99, 0xA0, 0xA1, 0xA8, 0xAA]):
            name = "port_%d" % i
            self.entries.append(("equ", name, number(port, True)))
            self.port_names.append(name)
        self.entries.append(("equ", "ram", number(0xC000, True)))
        for i in range(400):
            name = "v_%s%d" % (rng.choice(WORDS), i)
            self.entries.append(("equ", name, ("+", symbol("ram"), number(2 * i))))
            self.variables.append(name)


class RoutineWriter:
    """Builds one routine: instructions of every family around local labels."""

    def __init__(self, rng, constants, name):
        self.rng = rng
        self.constants = constants
        self.name = name
        self.locals = []

    # operands ------------------------------------------------------------
    def byte_value(self):
        rng, choice = self.rng, self.rng.random()
        if choice < 0.45:
            return number(rng.randint(0, 255), rng.random() < 0.5)
        if choice < 0.75:
            return symbol(rng.choice(self.constants.byte_names))
        if choice < 0.9:
            return ("+", symbol(rng.choice(self.constants.byte_names)), number(rng.randint(0, 100)))
        return ("*", symbol(rng.choice(self.constants.byte_names)), number(2))

    def displacement(self):
        if self.rng.random() < 0.25:
            return symbol(self.rng.choice(self.constants.byte_names))
        return number(self.rng.randint(-128, 127))

    def address(self):
        rng = self.rng
        if rng.random() < 0.3:
            return ("T", rng.random())
        variable = symbol(rng.choice(self.constants.variables))
        return ("+", variable, number(1)) if rng.random() < 0.2 else variable

    def word_value(self):
        rng, choice = self.rng, self.rng.random()
        if choice < 0.4:
            return ("T", rng.random())
        if choice < 0.7:
            return symbol(rng.choice(self.constants.variables))
        return number(rng.randint(0, 65535), rng.random() < 0.6)

    def port(self):
        if self.rng.random() < 0.6:
            return ("m", symbol(self.rng.choice(self.constants.port_names)))
        return ("m", number(self.rng.randint(0, 255), True))

    def indexed(self):
        return ("x", self.rng.choice(INDEX), self.displacement())

    def local_target(self):
        return ("l", self.name, self.rng.choice(self.locals))

    # instruction families --------------------------------------------------
    def load8(self):
        rng, r = self.rng, ("r", self.rng.choice(REG8))
        form = rng.randrange(11)
        if form == 0:
            return "ld", [r, ("r", rng.choice(REG8))], 1
        if form == 1:
            return "ld", [r, ("i", self.byte_value())], 2
        if form == 2:
            return "ld", [r, ("r", "(hl)")], 1
        if form == 3:
            return "ld", [("r", "(hl)"), r], 1
        if form == 4:
            return "ld", [("r", "(hl)"), ("i", self.byte_value())], 2
        if form == 5:
            return "ld", [r, self.indexed()], 3
        if form == 6:
            return "ld", [self.indexed(), r], 3
        if form == 7:
            return "ld", [self.indexed(), ("i", self.byte_value())], 4
        if form == 8:
            pair = ("r", rng.choice(["(bc)", "(de)"]))
            return ("ld", [("r", "a"), pair], 1) if rng.random() < 0.5 else ("ld", [pair, ("r", "a")], 1)
        if form == 9:
            memory = ("m", self.address())
            return ("ld", [("r", "a"), memory], 3) if rng.random() < 0.5 else ("ld", [memory, ("r", "a")], 3)
        special = rng.choice([("a", "i"), ("a", "r"), ("i", "a"), ("r", "a")])
        return "ld", [("r", special[0]), ("r", special[1])], 2

    def load16(self):
        rng = self.rng
        form = rng.randrange(7)
        if form == 0:
            return "ld", [("r", rng.choice(REG16)), ("i", self.word_value())], 3
        if form == 1:
            return "ld", [("r", rng.choice(INDEX)), ("i", self.word_value())], 4
        if form in (2, 3):
            register = rng.choice(REG16 + INDEX)
            size = 3 if register == "hl" else 4
            memory = ("m", self.address())
            if form == 2:
                return "ld", [("r", register), memory], size
            return "ld", [memory, ("r", register)], size
        if form == 4:
            return "ld", [("r", "sp"), ("r", "hl")], 1
        if form == 5:
            return "ld", [("r", "sp"), ("r", rng.choice(INDEX))], 2
        register = rng.choice(STACK16 + INDEX)
        return rng.choice(["push", "pop"]), [("r", register)], 2 if register in INDEX else 1

    def exchange(self):
        return self.rng.choice([
            ("ex", [("r", "de"), ("r", "hl")], 1),
            ("ex", [("r", "af"), ("r", "af'")], 1),
            ("exx", [], 1),
            ("ex", [("r", "(sp)"), ("r", "hl")], 1),
            ("ex", [("r", "(sp)"), ("r", self.rng.choice(INDEX))], 2),
        ])

    def block(self):
        return self.rng.choice(BLOCK), [], 2

    def arithmetic8(self):
        rng = self.rng
        op = rng.choice(ALU)
        form = rng.randrange(4)
        if form == 0:
            operand, size = ("r", rng.choice(REG8)), 1
        elif form == 1:
            operand, size = ("i", self.byte_value()), 2
        elif form == 2:
            operand, size = ("r", "(hl)"), 1
        else:
            operand, size = self.indexed(), 3
        operands = [("r", "a"), operand] if op in ALU_WITH_A else [operand]
        return op, operands, size

    def increment(self):
        rng = self.rng
        op = rng.choice(["inc", "dec"])
        form = rng.randrange(5)
        if form == 0:
            return op, [("r", rng.choice(REG8))], 1
        if form == 1:
            return op, [("r", "(hl)")], 1
        if form == 2:
            return op, [self.indexed()], 3
        if form == 3:
            return op, [("r", rng.choice(REG16))], 1
        return op, [("r", rng.choice(INDEX))], 2

    def arithmetic16(self):
        rng = self.rng
        form = rng.randrange(3)
        if form == 0:
            return "add", [("r", "hl"), ("r", rng.choice(REG16))], 1
        if form == 1:
            return rng.choice(["adc", "sbc"]), [("r", "hl"), ("r", rng.choice(REG16))], 2
        index = rng.choice(INDEX)
        return "add", [("r", index), ("r", rng.choice(["bc", "de", index, "sp"]))], 2

    def general(self):
        rng = self.rng
        form = rng.randrange(4)
        if form == 0:
            return rng.choice(ONE_BYTE_MISC), [], 1
        if form == 1:
            return rng.choice(TWO_BYTE_MISC), [], 2
        if form == 2:
            return "im", [("b", rng.randrange(3))], 2
        return "rst", [("b", 8 * rng.randrange(8))], 1

    def rotate(self):
        rng = self.rng
        op = rng.choice(SHIFTS)
        form = rng.randrange(3)
        if form == 0:
            return op, [("r", rng.choice(REG8))], 2
        if form == 1:
            return op, [("r", "(hl)")], 2
        return op, [self.indexed()], 4

    def bits(self):
        rng = self.rng
        op = rng.choice(["bit", "set", "res"])
        bit = ("b", rng.randrange(8))
        form = rng.randrange(3)
        if form == 0:
            return op, [bit, ("r", rng.choice(REG8))], 2
        if form == 1:
            return op, [bit, ("r", "(hl)")], 2
        return op, [bit, self.indexed()], 4

    def jump(self):
        rng = self.rng
        if not self.locals:
            return "jp", [("F", rng.random())], 3
        form = rng.randrange(5)
        if form == 0:
            return "jr", [self.local_target()], 2
        if form == 1:
            return "jr", [("r", rng.choice(RELATIVE_CONDITIONS)), self.local_target()], 2
        if form == 2:
            return "djnz", [self.local_target()], 2
        if form == 3:
            return "jp", [("r", rng.choice(CONDITIONS)), self.local_target()], 3
        return "jp", [("r", rng.choice(CONDITIONS)), ("F", rng.random())], 3

    def call(self):
        rng = self.rng
        form = rng.randrange(3)
        if form == 0:
            return "call", [("F", rng.random())], 3
        if form == 1:
            return "call", [("r", rng.choice(CONDITIONS)), ("F", rng.random())], 3
        return "ret", [("r", rng.choice(CONDITIONS))], 1

    def in_out(self):
        rng = self.rng
        form = rng.randrange(4)
        if form == 0:
            return "in", [("r", "a"), self.port()], 2
        if form == 1:
            return "in", [("r", rng.choice(REG8)), ("r", "(c)")], 2
        if form == 2:
            return "out", [self.port(), ("r", "a")], 2
        return "out", [("r", "(c)"), ("r", rng.choice(REG8))], 2

    FAMILIES = [
        (load8, 26), (load16, 10), (exchange, 2), (block, 3), (arithmetic8, 16), (increment, 8),
        (arithmetic16, 3), (general, 4), (rotate, 4), (bits, 6), (jump, 8), (call, 6), (in_out, 4),
    ]

    def instruction(self):
        families, weights = zip(*self.FAMILIES)
        family = self.rng.choices(families, weights)[0]
        return family(self)

    def comment(self):
        return "%s %s" % (self.rng.choice(WORDS), self.rng.choice(WORDS))

    def ending(self):
        rng, choice = self.rng, self.rng.random()
        if choice < 0.75:
            return "ret", [], 1
        if choice < 0.8:
            return rng.choice(["reti", "retn"]), [], 2
        if choice < 0.9:
            return "jp", [("F", rng.random())], 3
        target = rng.choice(["(hl)", "(ix)", "(iy)"])
        return "jp", [("r", target)], 1 if target == "(hl)" else 2

    def build(self):
        rng = self.rng
        entries = [("blank",), ("comment", "%s: %s" % (self.name, self.comment()))]
        self.locals = ["l%d" % i for i in range(rng.choice([0, 1, 1, 2, 2, 3]))]
        length = rng.randint(6, 30)
        label_at = {rng.randrange(length): local for local in self.locals}
        pending = list(self.locals)
        entries.append(("label", self.name, None))
        size = 0
        for position in range(length):
            mnemonic, operands, bytes_ = self.instruction()
            if size + bytes_ > MAX_ROUTINE_BYTES:
                break
            if position in label_at:
                local = label_at[position]
                pending.remove(local)
                entries.append(("label", self.name, local))
            comment = self.comment() if rng.random() < 0.15 else None
            entries.append(("ins", mnemonic, operands, bytes_, comment))
            size += bytes_
        for local in pending:
            entries.append(("label", self.name, local))
        mnemonic, operands, bytes_ = self.ending()
        entries.append(("ins", mnemonic, operands, bytes_, None))
        return entries, size + bytes_


class BankBuilder:
    def __init__(self, rng, constants, number_, with_blobs=True):
        self.rng = rng
        self.constants = constants
        self.number = number_
        # The big game's blobs are files of its own: its modules have none.
        self.with_blobs = with_blobs
        self.size = 0
        self.routines = []
        self.tables = []
        self.modules = []

    def full(self):
        return self.size > BANK_SIZE - BANK_RESERVE

    def table(self):
        rng = self.rng
        name = "b%d_t%d" % (self.number, len(self.tables))
        self.tables.append(name)
        entries = [("blank",), ("label", name, None)]
        kind = rng.randrange(5)
        if kind == 0:
            items = [("F", rng.random()) for _ in range(rng.randint(3, 8))]
            entries.append(("data", "dw", items, 2 * len(items)))
        elif kind == 1:
            text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4))).upper()
            items = [("str", text), number(0)]
            entries.append(("data", "db", items, len(text) + 1))
        elif kind == 2:
            for _ in range(rng.randint(1, 4)):
                items = [number(rng.randint(0, 255), rng.random() < 0.7) for _ in range(rng.randint(4, 16))]
                entries.append(("data", "db", items, len(items)))
        elif kind == 3:
            items = [number(rng.randint(0, 65535), True) for _ in range(rng.randint(2, 8))]
            entries.append(("data", "dw", items, 2 * len(items)))
        else:
            count = rng.choice([4, 8, 16, 32])
            entries.append(("fill", count))
            return entries, count
        return entries, sum(entry[3] for entry in entries[2:])

    def blob(self):
        index = self.rng.randrange(len(BLOB_SIZES))
        name = "b%d_t%d" % (self.number, len(self.tables))
        self.tables.append(name)
        entries = [("blank",), ("comment", "graphics"), ("label", name, None),
                   ("incbin", "gfx%d.bin" % index, BLOB_SIZES[index])]
        return entries, BLOB_SIZES[index]

    def module(self, wanted_lines):
        rng = self.rng
        entries = [("comment", "bank %d, module %d" % (self.number, len(self.modules)))]
        lines = 1
        while lines < wanted_lines and not self.full():
            choice = rng.random()
            if choice < 0.12 or not self.tables:
                part, size = self.table()
            elif choice < 0.13 and self.with_blobs:
                part, size = self.blob()
            else:
                name = "b%d_f%d" % (self.number, len(self.routines))
                self.routines.append(name)
                part, size = RoutineWriter(rng, self.constants, name).build()
            entries += part
            lines += len(part)
            self.size += size
        self.modules.append(entries)
        return lines

    def resolve(self):
        """Chooses the routine or table that each forward-declared operand names."""
        # A bank cut short by the end of a tiny program may hold tables only.
        routines = self.routines or self.tables

        def pick(names, fraction):
            return names[int(fraction * len(names))]

        def resolve_value(value):
            if value[0] == "F":
                return symbol(pick(routines, value[1]))
            if value[0] == "T":
                return symbol(pick(self.tables, value[1]))
            if value[0] in "+-*":
                return (value[0], resolve_value(value[1]), resolve_value(value[2]))
            return value

        def resolve_operand(operand):
            if operand[0] == "F":
                return ("l", pick(routines, operand[1]), None)
            if operand[0] in ("i", "m"):
                return (operand[0], resolve_value(operand[1]))
            return operand

        for module in self.modules:
            for i, entry in enumerate(module):
                if entry[0] == "ins":
                    module[i] = ("ins", entry[1], [resolve_operand(o) for o in entry[2]], entry[3], entry[4])
                elif entry[0] == "data":
                    module[i] = ("data", entry[1], [resolve_value(v) for v in entry[2]], entry[3])


def build_program(lines_wanted, seed):
    rng = random.Random(seed)
    constants = Constants(rng)
    banks = []
    lines = len(constants.entries)
    while lines < lines_wanted or not banks:
        bank = BankBuilder(rng, constants, len(banks))
        while not bank.full() and lines < lines_wanted:
            lines += bank.module(min(MODULE_LINES, lines_wanted - lines))
        bank.resolve()
        banks.append(bank)
    return constants, banks


# ---------------------------------------------------------------- rendering


def render_entry(dialect, entry):
    kind = entry[0]
    if kind == "blank":
        return [""]
    if kind == "comment":
        return ["; " + entry[1]]
    if kind == "label":
        return [dialect.label_name(entry[1], entry[2]) + ":"]
    if kind == "equ":
        return [dialect.equ(entry[1], entry[2])]
    if kind == "ins":
        text = "\t" + entry[1]
        if entry[2]:
            text += " " + ",".join(dialect.operand(operand) for operand in entry[2])
        if entry[4]:
            text += "\t\t; " + entry[4]
        return [text]
    if kind == "data":
        return dialect.data_lines(entry[1], entry[2])
    if kind == "fill":
        return [dialect.fill(entry[1])]
    if kind == "incbin":
        return [dialect.incbin(entry[1])]
    raise ValueError(kind)


def write_lines(path, lines):
    with open(path, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def render(dialect, constants, banks, directory):
    os.makedirs(directory, exist_ok=True)
    ext = dialect.extension
    consts = ["; constants and variables"]
    for entry in constants.entries:
        consts += render_entry(dialect, entry)
    write_lines(os.path.join(directory, "consts." + ext), consts)
    main = ["; generated benchmark program", dialect.include("consts." + ext)]
    for bank in banks:
        main += ["", "; bank %d" % bank.number, dialect.bank_start(bank.number)]
        for index, module in enumerate(bank.modules):
            name = "b%03d_%02d.%s" % (bank.number, index, ext)
            lines = []
            for entry in module:
                lines += render_entry(dialect, entry)
            write_lines(os.path.join(directory, name), lines)
            main.append(dialect.include(name))
        if bank.size < BANK_SIZE:
            main.append(dialect.fill(BANK_SIZE - bank.size))
    write_lines(os.path.join(directory, "main." + ext), main)


def write_blobs(rng, directories):
    for index, size in enumerate(BLOB_SIZES):
        data = bytes(rng.randrange(256) for _ in range(size))
        for directory in directories:
            with open(os.path.join(directory, "gfx%d.bin" % index), "wb") as out:
                out.write(data)


def write_link_files(banks, directory, names):
    write_lines(os.path.join(directory, "image-size"), [str(len(banks) * BANK_SIZE)])
    if "gas" in names:
        write_gas_script(banks, directory)
    if "sdas" in names:
        write_sdas_link_file(banks, directory)


def write_gas_script(banks, directory):
    gas = ["SECTIONS", "{"]
    for bank in banks:
        gas.append("  %s 0x%04x : AT(0x%x) { *(%s) }"
                   % (gas_section(bank.number), page_address(bank.number), bank.number * BANK_SIZE,
                      gas_section(bank.number)))
    gas.append("}")
    write_lines(os.path.join(directory, "gas", "banks.ld"), gas)


def write_sdas_link_file(banks, directory):
    # sdld keeps the low 16 bits of an address in the code and places the
    # bytes at the whole address in the Intel hex file.
    sdas = ["-n", "-i"]
    for bank in banks:
        sdas.append("-b %s = 0x%x" % (sdas_area(bank.number), bank.number * BANK_SIZE))
    sdas += ["main.ihx", "main.rel", "-e"]
    write_lines(os.path.join(directory, "sdas", "link.lk"), sdas)


MACRO_DEFINITIONS = """vdp_register macro register, value
 ld a,value
 out (99h),a
 ld a,register OR 80h
 out (99h),a
 endm
psg_write macro register, value
 ld a,register
 out (0A0h),a
 ld a,value
 out (0A1h),a
 endm
copy_bytes macro source, target, count
 ld hl,source
 ld de,target
 ld bc,count
 ldir
 endm
wait macro frames
 ld b,frames
.again: halt
 djnz .again
 endm
clear_row macro value
 ld a,value
 rept 4
 out (98h),a
 endr
 endm
"""


def macro_call(rng):
    kind = rng.randrange(5)
    if kind == 0:
        return "vdp_register %d, %d" % (rng.randrange(8), rng.randrange(256))
    if kind == 1:
        return "psg_write %d, %d" % (rng.randrange(14), rng.randrange(256))
    if kind == 2:
        return "copy_bytes %d, %d, <%d>" % (rng.randrange(0x10000), rng.randrange(0x10000), rng.randrange(1, 256))
    if kind == 3:
        return "wait %d" % rng.randrange(1, 256)
    return "clear_row %d" % rng.randrange(256)


# A program of macro calls for orbant --macros: 16 KiB banks of code, each
# a global label whose calls' local labels it scopes.
def write_macro_calls(lines, seed, out):
    rng = random.Random(seed)
    directory = os.path.join(out, "orbant-macros")
    os.makedirs(directory, exist_ok=True)
    text = [MACRO_DEFINITIONS.rstrip("\n")]
    calls_per_bank = 1000  # at most 16 bytes each: a bank's 16 KiB
    written = len(text[0].split("\n"))
    bank = 0
    while written < lines:
        text.append(" org %d" % (page_address(bank)))
        text.append("bank%d:" % bank)
        written += 2
        for _ in range(min(calls_per_bank, lines - written)):
            text.append(" " + macro_call(rng))
            written += 1
        bank += 1
    with open(os.path.join(directory, "main.asm"), "w") as file:
        file.write("\n".join(text) + "\n")


# ---------------------------------------------------------------- big game
# The shape of a published 4 MiB megaROM: 256 pages of 16 KiB in one image,
# the first two for the cartridge's first slot (ORG 4000h, with the header
# and the start-up code), the 254 others for the switched slot at 8000h;
# each page says its last address and is padded to its full size. About 300
# source files in three folder levels, all included from main.asm, and 260
# binary files of 1 to 16 KiB, each in the first page with room for it.

GAME_PAGES = 256
GAME_LOW_PAGES = 2
GAME_DATA_PAGES = 56  # pages without code: binary files or padding only
GAME_MODULES = 298  # with main.asm and consts.asm, 300 source files
GAME_MODULE_LINES = 200
GAME_BLOBS = 260
GAME_BLOB_SIZES = (1024, 16384)
GAME_AREAS = ["engine", "world", "sound", "menu", "enemies", "story"]
GAME_PARTS = ["core", "stages", "bosses", "tools"]
GAME_DATA_KINDS = ["gfx", "maps", "music", "text"]
GAME_HEADER_SIZE = 16


def game_module_path(index):
    """Modules go in turn to src, src/AREA and src/AREA/PART."""
    area = GAME_AREAS[(index // 3) % len(GAME_AREAS)]
    part = GAME_PARTS[(index // (3 * len(GAME_AREAS))) % len(GAME_PARTS)]
    folder = ["src", "src/" + area, "src/%s/%s" % (area, part)][index % 3]
    return "%s/m%03d.asm" % (folder, index)


def game_pages(rng, constants):
    """The pages with their modules; data pages have none."""
    data_pages = set(rng.sample(range(GAME_LOW_PAGES, GAME_PAGES), GAME_DATA_PAGES))
    code_pages = [number_ for number_ in range(GAME_PAGES) if number_ not in data_pages]
    doubled = set(rng.sample(code_pages, GAME_MODULES - len(code_pages)))
    pages = []
    modules = 0
    for number_ in range(GAME_PAGES):
        page = BankBuilder(rng, constants, number_, with_blobs=False)
        page.blobs = []
        if number_ == 0:
            page.size = GAME_HEADER_SIZE
        if number_ not in data_pages:
            for _ in range(2 if number_ in doubled else 1):
                page.module(GAME_MODULE_LINES)
            page.resolve()
        page.module_numbers = list(range(modules, modules + len(page.modules)))
        modules += len(page.modules)
        pages.append(page)
    return pages


def place_game_blobs(rng, pages):
    """Blob sizes, and each blob in the first page with room for it, largest
    first; returns the sizes by blob number."""
    sizes = [rng.randint(*GAME_BLOB_SIZES) for _ in range(GAME_BLOBS)]
    for index in sorted(range(GAME_BLOBS), key=lambda i: (-sizes[i], i)):
        page = next((page for page in pages if page.size + sizes[index] <= BANK_SIZE), None)
        if page is None:
            raise SystemExit("big game: no page has room for a blob of %d bytes" % sizes[index])
        page.blobs.append(index)
        page.size += sizes[index]
    return sizes


def game_blob_path(index):
    kind = GAME_DATA_KINDS[index % len(GAME_DATA_KINDS)]
    return "data/%s/%s%03d.bin" % (kind, kind, index)


def game_page_lines(dialect, page):
    low = page.number < GAME_LOW_PAGES
    start, last = (0x4000, 0x7FFF) if low else (0x8000, 0xBFFF)
    lines = ["", "; page %d" % page.number,
             "\torg %s,%s" % (dialect.number(start, True), dialect.number(last, True))]
    if page.number == 0:
        lines += ['\tdb "AB"', "\tdw game_start", "\tds %d,0" % (GAME_HEADER_SIZE - 4), "game_start:"]
    lines += [dialect.include(game_module_path(module)) for module in page.module_numbers]
    for blob in page.blobs:
        lines += ["blob%03d:" % blob, dialect.incbin(game_blob_path(blob))]
    if page.size < BANK_SIZE:
        lines.append(dialect.fill(BANK_SIZE - page.size))
    return lines


def write_big_game(seed, out):
    rng = random.Random(seed)
    dialect = DIALECTS[0]
    directory = os.path.join(out, "orbant-game")
    constants = Constants(rng)
    pages = game_pages(rng, constants)
    sizes = place_game_blobs(rng, pages)
    main = ["; generated program of a big game's shape", dialect.include("src/consts.asm")]
    for page in pages:
        for module, index in zip(page.modules, page.module_numbers):
            path = os.path.join(directory, game_module_path(index))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            write_lines(path, [line for entry in module for line in render_entry(dialect, entry)])
        main += game_page_lines(dialect, page)
    consts = ["; constants and variables"]
    for entry in constants.entries:
        consts += render_entry(dialect, entry)
    write_lines(os.path.join(directory, "src", "consts.asm"), consts)
    write_lines(os.path.join(directory, "main.asm"), main)
    for index, size in enumerate(sizes):
        path = os.path.join(directory, game_blob_path(index))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as blob:
            blob.write(rng.randbytes(size))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, help="source lines wanted (not with --big-game)")
    parser.add_argument("--out", required=True, help="folder for the dialects")
    parser.add_argument("--seed", type=int, default=1)
    names = [dialect.name for dialect in DIALECTS]
    parser.add_argument("--dialects", nargs="+", choices=names, default=names,
                        help="dialects to write (default: all); fewer save time on large programs")
    parser.add_argument("--macro-calls", action="store_true",
                        help="write the program of macro calls for orbant --macros instead")
    parser.add_argument("--big-game", action="store_true",
                        help="write the program of a big game's shape for orbant instead")
    args = parser.parse_args()
    if args.big_game:
        write_big_game(args.seed, args.out)
        return
    if args.lines is None:
        parser.error("the following arguments are required: --lines")
    if args.macro_calls:
        write_macro_calls(args.lines, args.seed, args.out)
        return
    constants, banks = build_program(args.lines, args.seed)
    if len(banks) > 1000:
        parser.error("too many banks for COFF section names")
    directories = []
    for dialect in (dialect for dialect in DIALECTS if dialect.name in args.dialects):
        directory = os.path.join(args.out, dialect.name)
        render(dialect, constants, banks, directory)
        directories.append(directory)
    write_blobs(random.Random(args.seed), directories)
    write_link_files(banks, args.out, args.dialects)


if __name__ == "__main__":
    main()
