#!/usr/bin/env python3
"""Checks that the assembler's folders include each other in one direction.

    driver -> statements -> encoders -> expressions -> scanner -> base

The base is the folder driver/base: the state record, diagnostics, the emit
operations, file safety, the file system, finding input files, where each
source stretch came from, the listing's capture, letter case and the store
of kept names. Every layer may use it; a base file includes only base files.
Among the base modules (a module is a .h with its .cpp) no circle is
allowed: a module may use another, never one that uses it back, directly or
around a longer loop. The one edge that points up is the scanner's use of
the label table while preprocessing, through expressions/scannerLabels.h.

    scripts/check-layers.py [--graph] [--root DIR]

--graph prints which folder includes which (with counts), and which base
module uses which, instead of checking.
--root takes the assembler folder of another tree (an older checkout, for
comparing its graph with this one's) instead of this tree's.
Exit status 1 names every include that breaks the rule and every circle.
"""
import argparse
import pathlib
import re
import sys
from collections import Counter, defaultdict

ROOT = pathlib.Path(__file__).resolve().parent.parent / "assembler"
ORDER = ["driver", "statements", "encoders", "expressions", "scanner"]
BASE_FOLDER = "driver/base/"
SANCTIONED = {("scanner", "expressions/scannerLabels.h")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    for path in sorted(root.rglob("*")):
        if path.suffix in {".h", ".cpp", ".l", ".re"}:
            yield path


def layer_of(relative):
    if relative.startswith(BASE_FOLDER):
        return "base"
    return relative.split("/", 1)[0]


def module_of(relative):
    """The base module of a base file: its path without the suffix."""
    return relative[len(BASE_FOLDER):].rsplit(".", 1)[0]


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


def base_module_uses(edges):
    uses = defaultdict(set)
    for source, target in edges:
        if layer_of(source) == "base" and layer_of(target) == "base":
            user, used = module_of(source), module_of(target)
            if user != used:
                uses[user].add(used)
    return uses


def circles(uses):
    """Each group of modules that reach one another (a strongly connected
    component, found by Tarjan's method), with one loop through it."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []

    def visit(module):
        index[module] = low[module] = len(index)
        stack.append(module)
        on_stack.add(module)
        for used in sorted(uses.get(module, ())):
            if used not in index:
                visit(used)
                low[module] = min(low[module], low[used])
            elif used in on_stack:
                low[module] = min(low[module], index[used])
        if low[module] == index[module]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == module:
                    break
            if len(group) > 1:
                found.append((sorted(group), loop_through(sorted(group), uses)))

    for module in sorted(uses):
        if module not in index:
            visit(module)
    return found


def loop_through(group, uses):
    """A path from the group's first module back to itself inside the group."""
    members, start = set(group), group[0]
    paths, queue = {start: [start]}, [start]
    while queue:
        module = queue.pop(0)
        for used in sorted(uses.get(module, ())):
            if used == start:
                return paths[module] + [start]
            if used in members and used not in paths:
                paths[used] = paths[module] + [used]
                queue.append(used)
    return group


def print_graph(edges):
    graph = Counter((layer_of(s), layer_of(t)) for s, t in edges if layer_of(s) != layer_of(t))
    for (source, target), count in sorted(graph.items()):
        print(f"{source} -> {target}: {count}")
    uses = base_module_uses(edges)
    if uses:
        print()
        print("base modules:")
        for module in sorted(uses):
            print(f"{module} -> {', '.join(sorted(uses[module]))}")


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
        print_graph(edges)
        return 0
    broken = [(s, t) for s, t in edges if not allowed(s, t)]
    for source, target in broken:
        print(f"{source} includes {target}: against the direction of the layers")
    loops = circles(base_module_uses(edges))
    for group, loop in loops:
        print(f"base modules in a circle: {', '.join(group)} (for one: {' -> '.join(loop)})")
    return 1 if broken or loops else 0


if __name__ == "__main__":
    sys.exit(main())
