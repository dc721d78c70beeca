#!/usr/bin/env python3
"""Checks that the assembler's folders include each other in one direction.

    driver -> statements -> encoders -> expressions -> scanner

Every layer may use the base files (the state record, diagnostics, the
output writer, the file-system wrapper, letter case and the store of kept
names, where each source stretch came from and the listing's capture, which
live in driver/). The one
edge that points up is the scanner's use of the label table while
preprocessing, through expressions/scannerLabels.h.

    scripts/check-layers.py [--graph] [--root DIR]

--graph prints which folder includes which (with counts) instead of checking.
--root takes the assembler folder of another tree (an older checkout, for
comparing its graph with this one's) instead of this tree's.
Exit status 1 names every include that breaks the rule.
"""
import argparse
import pathlib
import re
import sys
from collections import Counter

ROOT = pathlib.Path(__file__).resolve().parent.parent / "assembler"
ORDER = ["driver", "statements", "encoders", "expressions", "scanner"]
BASE = {
    "driver/base/AsmState.h",
    "driver/base/diagnostics.h",
    "driver/base/output.h",
    "driver/base/fileSafety.h",
    "driver/base/fileSystem.h",
    "driver/base/fileSystemPlatform.h",
    "driver/base/inputLookup.h",
    "driver/base/text.h",
    "driver/base/textStore.h",
    "driver/base/sourceFiles.h",
    "driver/base/sourceLines.h",
    "driver/base/sourceExcerpt.h",
    "driver/base/listing.h",
}
SANCTIONED = {("scanner", "expressions/scannerLabels.h")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    for path in sorted(root.rglob("*")):
        if path.suffix in {".h", ".cpp", ".l", ".re"}:
            yield path


def layer_of(relative):
    if relative in BASE or relative.replace(".cpp", ".h") in BASE:
        return "base"
    return relative.split("/", 1)[0]


def includes(root):
    for path in sources(root):
        relative = path.relative_to(root).as_posix()
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            target = (path.parent / name).resolve()
            if not target.is_relative_to(root):
                continue
            yield relative, target.relative_to(root).as_posix()


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
    parser = argparse.ArgumentParser(description="Checks the direction of includes between the assembler's folders.")
    parser.add_argument("--graph", action="store_true", help="print which folder includes which, with counts")
    parser.add_argument("--root", type=pathlib.Path, default=ROOT, help="the assembler folder to read")
    arguments = parser.parse_args()
    root = arguments.root.resolve()
    # A wrong folder would have no includes and pass.
    if not all((root / layer).is_dir() for layer in ORDER):
        parser.error(f"{arguments.root} lacks one of the folders {', '.join(ORDER)}")
    edges = list(includes(root))
    if arguments.graph:
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
