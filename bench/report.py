#!/usr/bin/env python3
"""Writes BENCHMARKS.md from what bench/run.sh measured in its work folder:
per program size, hyperfine's times.json and the facts file (peak memory and
source bytes per tool, lines, files); the date, orbant's revision, the load
averages and the busiest processes of the machine. bench/analysis.md, written by hand, is appended.
"""

import argparse
import json
import os
import platform
import subprocess

TOOLS = [
    # name in run.sh, shown as, Debian package or None
    ("orbant", "orbant", None),
    ("pasmo", "pasmo", "pasmo"),
    ("z80asm", "z80asm", "z80asm"),
    ("gas", "GNU as + ld + objcopy", "binutils-z80"),
    ("sdas", "sdasz80 + sdldz80 + makebin", "sdcc"),
    ("read", "plain read (byte-counting loop)", None),
]
OTHERS = ["pasmo", "z80asm", "gas", "sdas"]
MIB = 1024 * 1024

TARGET_SPEEDUP = 3.0
TARGET_READ_RATIO = 10.0
TARGET_GROWTH = 4.4
TARGET_MEMORY_MIB = 64


def run(command):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "?"


def package_version(package):
    return run(["dpkg-query", "-W", "-f=${Version}", package])


def machine_lines(work):
    cpu = "?"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as info:
        memory_kib = int(info.readline().split()[1])
    with open(os.path.join(work, "date")) as started:
        date = started.read().strip()
    lines = [
        "- Date: %s (start of the run)" % date,
        "- CPU: %s, %d cores; memory %.0f GiB; %s %s"
        % (cpu, os.cpu_count(), memory_kib / MIB, platform.system(), platform.release()),
    ]
    with open(os.path.join(work, "loads")) as loads:
        samples = ["%s lines: %s" % (parts[0], " ".join(parts[1:]))
                   for parts in (line.split() for line in loads) if parts]
    lines.append("- Load averages (1, 5, 15 min) before and after each hyperfine run: " + "; ".join(samples))
    with open(os.path.join(work, "busy")) as busy:
        rows = [line.split() for line in busy.read().splitlines()[1:]]
    lines.append("- Busiest processes when the run ended (%CPU, nice, name): "
                 + ", ".join("%s %s %s" % (row[0], row[1], " ".join(row[2:])) for row in rows if row))
    return lines


def read_size(work, lines):
    folder = os.path.join(work, str(lines))
    with open(os.path.join(folder, "times.json")) as file:
        times = {result["command"]: result for result in json.load(file)["results"]}
    facts = {}
    with open(os.path.join(folder, "facts")) as file:
        for line in file:
            parts = line.split()
            facts[parts[0]] = [int(part) for part in parts[1:]]
    return times, facts


def size_table(times, facts):
    base = times["orbant"]["median"]
    rows = ["| tool | median | ratio to orbant | source MB/s | peak memory | runs |",
            "|---|---:|---:|---:|---:|---:|"]
    for tool, shown, _ in TOOLS:
        result = times[tool]
        median = result["median"]
        peak_kib, source_bytes = facts[tool]
        rows.append("| %s | %.1f ms | %.2f | %.1f | %.1f MiB | %d |"
                    % (shown, median * 1000, median / base, source_bytes / median / 1e6, peak_kib / 1024,
                       len(result["times"])))
    return rows


def verdict(met):
    return "**met**" if met else "**missed**"


def targets(sizes, data):
    largest, previous = sizes[-1], sizes[-2] if len(sizes) > 1 else None
    times, facts = data[largest]
    orbant = times["orbant"]["median"]
    fastest = min(OTHERS, key=lambda tool: times[tool]["median"])
    speedup = times[fastest]["median"] / orbant
    read_ratio = orbant / times["read"]["median"]
    memory = facts["orbant"][0] / 1024
    rows = ["| target (%d lines) | measured | |" % largest, "|---|---|---|",
            "| at least %.0f× faster than the fastest other assembler | %.2f× faster than %s | %s |"
            % (TARGET_SPEEDUP, speedup, dict((t, s) for t, s, _ in TOOLS)[fastest],
               verdict(speedup >= TARGET_SPEEDUP)),
            "| within %.0f× of a plain read | %.1f× | %s |"
            % (TARGET_READ_RATIO, read_ratio, verdict(read_ratio <= TARGET_READ_RATIO))]
    if previous:
        growth = orbant / data[previous][0]["orbant"]["median"]
        rows.append("| %d lines take at most %.1f× the time of %d (lines ratio %.1f) | %.2f× | %s |"
                    % (largest, TARGET_GROWTH, previous, largest / previous, growth,
                       verdict(growth <= TARGET_GROWTH)))
    rows.append("| peak memory under %d MiB | %.1f MiB | %s |"
                % (TARGET_MEMORY_MIB, memory, verdict(memory < TARGET_MEMORY_MIB)))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--sizes", nargs="+", type=int, required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    data = {lines: read_size(args.work, lines) for lines in args.sizes}

    out = ["# Benchmarks", "",
           "Written by `bench/run.sh`; the section after the tables is `bench/analysis.md`.", "",
           "Each program is generated by `bench/generate.py` (one model rendered in every dialect),",
           "assembled once by every tool and checked for identical bytes, then timed in one",
           "hyperfine run per size (median of the runs, after warm-up runs; hyperfine subtracts",
           "the time to start the shell). Times include every pass and, for GNU as and sdasz80,",
           "the link and the conversion to a flat image. Source MB/s: the bytes of the tool's own",
           "sources (main file, includes and blobs) over the median. Peak memory: the largest",
           "resident set of the tool's processes (`/usr/bin/time`, the largest of three runs).", "",
           "## Machine", ""]
    out += machine_lines(args.work)
    with open(os.path.join(args.work, "revision")) as file:
        revision = file.read().strip()
    out.append("- orbant: built from %s (Release); %s"
               % (revision, ", ".join("%s %s" % (package, package_version(package))
                            for _, _, package in TOOLS if package)
                  + ", hyperfine " + package_version("hyperfine")))
    out.append("")
    out.append("## Targets")
    out.append("")
    out += targets(args.sizes, data)
    for lines in args.sizes:
        times, facts = data[lines]
        out += ["", "## %d lines" % lines, "",
                "%d source lines in %d files (main file and includes), %.2f MB in orbant's dialect."
                % (facts["lines"][0], facts["files"][0], facts["orbant"][1] / 1e6), ""]
        out += size_table(times, facts)
    analysis = os.path.join(root, "bench", "analysis.md")
    if os.path.exists(analysis):
        with open(analysis) as file:
            out += ["", file.read().rstrip()]
    with open(args.output, "w") as file:
        file.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
