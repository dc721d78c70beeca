#!/usr/bin/env python3
"""Checks that the assemblers produced the same bytes.

    compare_images.py REFERENCE --same IMAGE... --paged IMAGE...

Each --same image must equal the reference (the banks in order). A --paged
image comes from an assembler with one 64 KiB memory image: every bank
assembled for a page overwrote the one before it, so it must equal, page by
page, the last bank of the reference assembled for that page.
"""

import argparse
import sys

BANK_SIZE = 0x4000
PAGE_COUNT = 4


def paged_view(reference):
    banks = [reference[i:i + BANK_SIZE] for i in range(0, len(reference), BANK_SIZE)]
    pages = {}
    for number, bank in enumerate(banks):
        pages[number % PAGE_COUNT] = bank
    return b"".join(pages[page] for page in sorted(pages))


def first_difference(left, right):
    for offset, (a, b) in enumerate(zip(left, right)):
        if a != b:
            return offset
    return min(len(left), len(right))


def check(name, actual, expected):
    if actual == expected:
        return True
    offset = first_difference(actual, expected)
    print("%s: differs at offset %d (%d bytes, expected %d)" % (name, offset, len(actual), len(expected)),
          file=sys.stderr)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("reference")
    parser.add_argument("--same", nargs="*", default=[])
    parser.add_argument("--paged", nargs="*", default=[])
    args = parser.parse_args()
    with open(args.reference, "rb") as file:
        reference = file.read()
    if len(reference) == 0 or len(reference) % BANK_SIZE != 0:
        sys.exit("%s: %d bytes, not whole banks" % (args.reference, len(reference)))
    ok = True
    for name in args.same:
        with open(name, "rb") as file:
            ok &= check(name, file.read(), reference)
    for name in args.paged:
        with open(name, "rb") as file:
            ok &= check(name, file.read(), paged_view(reference))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
