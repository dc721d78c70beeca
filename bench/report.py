#!/usr/bin/env python3
"""Writes BENCHMARKS.md from what bench/run.sh measured in its work folder:
per program size, hyperfine's times.json and the facts file (peak memory and
source bytes per tool, lines, files), and at the callgrind sizes the
callgrind output files of orbant and GNU as; the 2M-line growth run; the date,
orbant's revision, the load averages and the busiest processes of the machine.
bench/analysis.md, written by hand, is appended. The targets are also printed.
"""

import argparse
import glob
import json
import os
import platform
import re
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
TARGET_INSTRUCTION_SHARE = 1 / 3
TARGET_LARGE_GROWTH = 5.3
TARGET_LARGEST_MEMORY_MIB = 48
TARGET_LARGE_MEMORY_MIB = 256
PROGRESS_LINE = re.compile(r"^(Pass \d+|Generating Output)\.\.\.$")


def run(command):
    try:
        return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "?"


def package_version(package):
    return run(["dpkg-query", "-W", "-f=${Version}", package])


def cpu_model():
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "?"


def read_loads(work):
    """{label: {"before": "1.00 0.90 0.80", "after": ...}} from run.sh's loads file."""
    loads = {}
    with open(os.path.join(work, "loads")) as file:
        for line in file:
            parts = line.split()
            if parts:
                loads.setdefault(parts[0], {})[parts[1]] = " ".join(parts[2:])
    return loads


def machine_lines(work):
    cpu = cpu_model()
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


def read_profile(path):
    """(program name, part number, instructions) of one callgrind output file."""
    program, part, total = "?", 1, None
    with open(path) as file:
        for line in file:
            if line.startswith("cmd:"):
                program = os.path.basename(line.split()[1])
            elif line.startswith("part:"):
                part = int(line.split()[1])
            elif line.startswith("totals:"):
                total = int(line.split()[1])
    if total is None:
        raise SystemExit("%s: no totals line; did callgrind finish?" % path)
    return program, part, total


def inclusive_counts(path, functions):
    """The largest inclusive count of a function of each name in one callgrind
    output file (0 when it was not called in that part)."""
    listing = run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", "--auto=no", path])
    if listing == "?":
        raise SystemExit("callgrind_annotate failed on %s" % path)
    counts = dict.fromkeys(functions, 0)
    for line in listing.splitlines():
        match = re.match(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+(.*)$", line)
        if not match:
            continue
        count = int(match.group(1).replace(",", ""))
        for function in functions:
            if re.search(r"(^|[:\s])%s\(" % re.escape(function), match.group(2)):
                counts[function] = max(counts[function], count)
    return counts


def read_instructions(work, lines):
    """Per tool, the instructions of every process of its command, by program name."""
    counts = {}
    for tool in ("orbant", "gas"):
        programs = {}
        for path in glob.glob(os.path.join(work, str(lines), "callgrind", tool, "callgrind.*")):
            program, _, total = read_profile(path)
            programs[program] = programs.get(program, 0) + total
        if not programs:
            raise SystemExit("no callgrind output for %s at %d lines" % (tool, lines))
        counts[tool] = programs
    return counts


def read_phases(work, lines, functions):
    """orbant's instructions per phase at one size: the inclusive counts of the
    preprocessing, pass and symbol file functions, pass by pass (callgrind
    starts a part on each call of the pass function), and the progress lines."""
    folder = os.path.join(work, str(lines), "callgrind", "orbant")
    parts = []
    for path in glob.glob(os.path.join(folder, "callgrind.*")):
        program, part, total = read_profile(path)
        if program == "orbant":
            parts.append((part, total, inclusive_counts(path, functions)))
    parts.sort()
    preprocess, pass_function, symbols = functions
    passes = [counts[pass_function] for _, _, counts in parts if counts[pass_function]]
    with open(os.path.join(folder, "log")) as log:
        progress = sum(1 for line in log if PROGRESS_LINE.match(line.rstrip("\n")))
    return {"total": sum(total for _, total, _ in parts), "passes": passes, "progress": progress,
            "preprocess": sum(counts[preprocess] for _, _, counts in parts),
            "symbols": sum(counts[symbols] for _, _, counts in parts)}


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


def millions(count):
    return "%.1fM" % (count / 1e6)


def instruction_rows(sizes, data, instructions):
    rows = []
    for lines in sizes:
        facts = data[lines][1]
        orbant, gas = (sum(instructions[lines][tool].values()) for tool in ("orbant", "gas"))
        share = orbant / gas
        rows.append("| instructions at %d lines (callgrind, every process) | orbant at most %.2f× GNU as's "
                    "| orbant %s (%.0f per source byte), GNU as + ld + objcopy %s (%.0f per source byte): %.2f× | %s |"
                    % (lines, TARGET_INSTRUCTION_SHARE, millions(orbant), orbant / facts["orbant"][1],
                       millions(gas), gas / facts["gas"][1], share, verdict(share <= TARGET_INSTRUCTION_SHARE)))
    return rows


def large_rows(large, largest, large_data):
    times, facts = large_data
    base, big = (times["orbant %d" % lines]["median"] for lines in (largest, large))
    growth = big / base
    memory = facts["orbant"][0] / 1024
    return ["| time at %d lines over the time at %d (orbant; lines ratio %.1f) | at most %.1f× "
            "| %.1f ms / %.1f ms = %.2f× | %s |"
            % (large, largest, large / largest, TARGET_LARGE_GROWTH, big * 1000, base * 1000, growth,
               verdict(growth <= TARGET_LARGE_GROWTH)),
            "| peak memory at %d lines (one run) | at most %d MiB | %.1f MiB | %s |"
            % (large, TARGET_LARGE_MEMORY_MIB, memory, verdict(memory <= TARGET_LARGE_MEMORY_MIB))]


def wall_row(largest, times, loads):
    orbant, gas = times["orbant"]["median"], times["gas"]["median"]
    ratio = gas / orbant
    load = loads.get(str(largest), {})
    return ("| wall time at %d lines, GNU as + ld + objcopy over orbant | at least %.0f× "
            "| %.1f ms / %.1f ms = %.2f× on %s (load averages before %s, after %s) | %s |"
            % (largest, TARGET_SPEEDUP, gas * 1000, orbant * 1000, ratio, cpu_model(), load.get("before", "?"),
               load.get("after", "?"), verdict(ratio >= TARGET_SPEEDUP)))


def speed_targets(args, data, instructions, loads):
    largest = args.sizes[-1]
    rows = ["| target | goal | measured | |", "|---|---|---|---|"]
    rows += instruction_rows(args.callgrind_sizes, data, instructions)
    if args.large:
        rows += large_rows(args.large, largest, read_size(args.work, args.large))
    memory = data[largest][1]["orbant"][0] / 1024
    rows.append("| peak memory at %d lines (the largest of three runs) | at most %d MiB | %.1f MiB | %s |"
                % (largest, TARGET_LARGEST_MEMORY_MIB, memory, verdict(memory <= TARGET_LARGEST_MEMORY_MIB)))
    rows.append(wall_row(largest, data[largest][0], loads))
    return rows


def process_lines(sizes, instructions):
    lines = []
    for size in sizes:
        for tool, shown, _ in TOOLS:
            if tool in instructions[size]:
                programs = instructions[size][tool]
                lines.append("- %d lines, %s: %s" % (size, shown, ", ".join(
                    "%s %s" % (program, millions(count)) for program, count in sorted(programs.items()))))
    return lines


def phase_table(lines, phases, source_bytes, functions):
    preprocess, pass_function, symbols = functions
    passes = phases["passes"]
    later = sum(passes[1:])
    measured = [("preprocessing (`%s`)" % preprocess, phases["preprocess"]),
                ("pass 1 (`%s`)" % pass_function, passes[0] if passes else 0),
                ("later passes (%d: %s)" % (len(passes[1:]), ", ".join(millions(count) for count in passes[1:])),
                 later),
                ("symbol file (`%s`)" % symbols, phases["symbols"])]
    rest = phases["total"] - sum(count for _, count in measured)
    measured.append(("the rest: start-up, setting up each pass, exit", rest))
    measured.append(("orbant's process", phases["total"]))
    rows = ["| orbant at %d lines, %d passes by its progress lines | instructions | share | per source byte |"
            % (lines, phases["progress"]), "|---|---:|---:|---:|"]
    rows += ["| %s | %s | %.1f%% | %.1f |" % (name, millions(count), 100.0 * count / phases["total"],
                                               count / source_bytes)
             for name, count in measured]
    if len(passes) != phases["progress"]:
        rows += ["", "`%s` was called %d times, but the progress lines name %d passes."
                 % (pass_function, len(passes), phases["progress"])]
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--sizes", nargs="+", type=int, required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--callgrind-sizes", nargs="*", type=int, default=[])
    parser.add_argument("--large", type=lambda text: int(text) if text else None, default=None)
    parser.add_argument("--phase-functions", nargs=3, required=True,
                        metavar=("PREPROCESS", "PASS", "SYMBOLS"))
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    data = {lines: read_size(args.work, lines) for lines in args.sizes}
    instructions = {lines: read_instructions(args.work, lines) for lines in args.callgrind_sizes}
    speed = speed_targets(args, data, instructions, read_loads(args.work))
    phases = []
    for lines in args.callgrind_sizes:
        phases += [""] + phase_table(lines, read_phases(args.work, lines, args.phase_functions),
                                     data[lines][1]["orbant"][1], args.phase_functions)
    print("\n".join(["Targets:"] + speed + [""] + targets(args.sizes, data) + phases))

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
    out += ["## Targets", "",
            "Instructions are callgrind's counts of every process of the command (for GNU as: the shell,",
            "as, ld and objcopy; for orbant: the shell and orbant), per byte of the tool's own sources;",
            "the times are hyperfine medians, the growth measured in one hyperfine run of orbant alone.", ""]
    out += speed + [""] + process_lines(args.callgrind_sizes, instructions)
    out += ["", "Earlier targets, at the largest size of the tables below:", ""] + targets(args.sizes, data)
    if phases:
        out += ["", "### orbant's instructions per phase", "",
                "Inclusive counts of the function that each phase runs in; the pass function is",
                "called once per pass, and callgrind starts a new part of the profile on each call."]
        out += phases
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
