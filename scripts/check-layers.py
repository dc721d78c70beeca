#!/usr/bin/env python3
"""Checks that the assembler's folders include each other in one direction.

    driver -> statements -> encoders -> expressions -> scanner

Every layer may use the base files (the state record, diagnostics, the
output writer, the file-system wrapper, where each source stretch came from
and the listing's capture, which live in driver/). The one
edge that points up is the scanner's use of the label table while
preprocessing, through expressions/scannerLabels.h.

    scripts/check-layers.py [--graph]

--graph prints which folder includes which (with counts) instead of checking.
Exit status 1 names every include that breaks the rule.
"""
import pathlib
import re
import sys
from collections import Counter

ROOT = pathlib.Path(__file__).resolve().parent.parent / "assembler"
ORDER = ["driver", "statements", "encoders", "expressions", "scanner"]
BASE = {
    "driver/AsmState.h",
    "driver/diagnostics.h",
    "driver/output.h",
    "driver/fileSystem.h",
    "driver/text.h",
    "driver/sourceFiles.h",
    "driver/listing.h",
}
SANCTIONED = {("scanner", "expressions/scannerLabels.h")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources():
    for path in sorted(ROOT.rglob("*")):
        if path.suffix in {".h", ".cpp", ".l", ".re"}:
            yield path


def layer_of(relative):
    if relative in BASE or relative.replace(".cpp", ".h") in BASE:
        return "base"
    return relative.split("/", 1)[0]


def includes():
    for path in sources():
        relative = path.relative_to(ROOT).as_posix()
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            target = (path.parent / name).resolve()
            if not target.is_relative_to(ROOT):
                continue
            yield relative, target.relative_to(ROOT).as_posix()


def allowed(source, target):
    source_layer, target_layer = layer_of(source), layer_of(target)
    if target_layer == "base" or source_layer == target_layer:
        return True
    if source_layer == "base":
        return False
    if (source_layer, target) in SANCTIONED:
        return True
    return ORDER.index(source_layer) < ORDER.index(target_layer)


def main():
    edges = list(includes())
    if "--graph" in sys.argv:
        graph = Counter((layer_of(s), layer_of(t)) for s, t in edges if layer_of(s) != layer_of(t))
        for (source, target), count in sorted(graph.items()):
            print(f"{source} -> {target}: {count}")
        return 0
    broken = [(s, t) for s, t in edges if not allowed(s, t)]
    for source, target in broken:
        print(f"{source} includes {target}: against the direction of the layers")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
