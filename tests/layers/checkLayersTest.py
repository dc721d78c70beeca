#!/usr/bin/env python3
"""The layer check on small made-up trees: what it must pass and what it
must name."""
import pathlib
import subprocess
import sys
import tempfile

SCRIPT = pathlib.Path(__file__).resolve().parent.parent.parent / "scripts" / "check-layers.py"
FOLDERS = ["driver", "driver/base", "statements", "encoders", "expressions", "scanner"]


def run(files, *options):
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        for name in FOLDERS:
            (root / name).mkdir(parents=True, exist_ok=True)
        for name, includes in files.items():
            (root / name).write_text("".join(f'#include "{target}"\n' for target in includes))
        result = subprocess.run([sys.executable, SCRIPT, "--root", root, *options], capture_output=True, text=True)
        return result.returncode, result.stdout


CASES = [
    # name, files and their includes, expected status, lines expected in the output
    ("layers pointing down pass",
     {"driver/run.cpp": ["../statements/loop.h", "base/state.h"], "statements/loop.h": ["../scanner/tokens.h"],
      "scanner/tokens.h": ["../driver/base/state.h"], "driver/base/state.h": [],
      "driver/base/messages.cpp": ["state.h"]},
     0, []),
    ("an include up is named",
     {"scanner/scan.cpp": ["../statements/loop.h"], "statements/loop.h": []},
     1, ["scanner/scan.cpp includes statements/loop.h: against the direction of the layers"]),
    ("the base includes no layer",
     {"driver/base/state.cpp": ["../run.h"], "driver/run.h": []},
     1, ["driver/base/state.cpp includes driver/run.h: against the direction of the layers"]),
    ("the sanctioned edge passes",
     {"scanner/actions.cpp": ["../expressions/scannerLabels.h"], "expressions/scannerLabels.h": []},
     0, []),
    ("two base modules using each other are a circle",
     {"driver/base/a.h": [], "driver/base/a.cpp": ["a.h", "b.h"], "driver/base/b.h": [],
      "driver/base/b.cpp": ["b.h", "a.h"]},
     1, ["base modules in a circle: a, b (for one: a -> b -> a)"]),
    ("a longer loop is a circle too",
     {"driver/base/a.cpp": ["b.h"], "driver/base/b.h": ["c.h"], "driver/base/c.cpp": ["a.h"], "driver/base/a.h": [],
      "driver/base/d.cpp": ["a.h"]},
     1, ["base modules in a circle: a, b, c (for one: a -> b -> c -> a)"]),
]


def main():
    failures = 0
    for name, files, status, lines in CASES:
        got_status, output = run(files)
        got_lines = output.splitlines()
        if got_status != status or got_lines != lines:
            failures += 1
            print(f"FAIL {name}: status {got_status}, output {got_lines!r}; expected {status}, {lines!r}")
    status, output = run({"driver/base/a.cpp": ["b.h"], "driver/base/b.h": [], "driver/run.cpp": ["base/a.h"]},
                         "--graph")
    if status != 0 or output.splitlines() != ["driver -> base: 1", "", "base modules:", "a -> b"]:
        failures += 1
        print(f"FAIL graph: {output!r}")
    print(f"{len(CASES) + 1 - failures} of {len(CASES) + 1} layer-check cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
