#!/usr/bin/env python3
"""Checks that the editor patterns the README gives (Vim's errorformat and
the VS Code problem matchers, in "Messages for editors") read every first
line of orbant's messages, in both forms, and none of the lines the gnu form
adds below them (the source line, the caret, the notes) nor "Exiting...".

    check_editor_patterns.py ORBANT README
"""

import json
import os
import re
import subprocess
import sys
import tempfile

# Vim's default 'isfname' on Unix: the characters %f takes.
VIM_FILE_NAME = r"[A-Za-z0-9/.\-_+,#$%~=]+"
VIM_ITEMS = {"f": VIM_FILE_NAME, "l": r"\d+", "t": r".", "m": r".*", "%": "%"}

# (arguments, files): runs whose messages cover every kind of line.
RUNS = [
    (["--diagnostics=gnu", "src/main.asm"],
     {"src/main.asm": "start: NOP\n INCLUDE \"part.inc\"\n", "src/part.inc": "\n\tSTART:\tNOP\n"}),
    (["-D", "VERSION=2", "--diagnostics=gnu", "main.asm"], {"main.asm": "version: NOP\n"}),
    (["--diagnostics=gnu", "main.asm"], {"main.asm": " IF 1\n IF 0\n NOP\n"}),
    (["--diagnostics=gnu", "main.asm"], {"main.asm": "player_x: NOP\n JP plyer_x ; jump\n"}),
    (["--diagnostics=gnu", "main.asm"], {"main.asm": " ORG 0,1\n DB 300 | LD A,(IX+200)\n JR $+200\n"}),
    (["--diagnostics=gnu", "main.asm"], {"main.asm": " NOP\n INCBIN \"missing.bin\"\n"}),
    (["main.asm"], {"main.asm": " DB 300\n INCC (HL)\n"}),
    (["main.asm"], {"main.asm": " JP nowhere\n"}),
]


def section(readme, title):
    start = readme.index(title)
    end = readme.find("\n####", start + len(title))
    return readme[start:] if end < 0 else readme[start:end]


def vim_patterns(text):
    """The errorformat's entries as regular expressions."""
    lines = text.split("\n")
    first = next(i for i, line in enumerate(lines) if line.strip().startswith("set errorformat="))
    value = lines[first].strip()[len("set errorformat="):]
    for line in lines[first + 1:]:
        stripped = line.strip()
        if not stripped.startswith("\\"):
            break
        value += stripped[1:]
    entries, current, i = [], "", 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            current += value[i:i + 2]
            i += 2
        elif value[i] == ",":
            entries.append(current)
            current, i = "", i + 1
        else:
            current += value[i]
            i += 1
    if current:
        entries.append(current)
    return [re.compile("^" + vim_entry_regex(entry) + "$") for entry in entries]


def vim_entry_regex(entry):
    regex, i = "", 0
    while i < len(entry):
        c = entry[i]
        if c == "%":
            regex += VIM_ITEMS[entry[i + 1]]
            i += 2
        elif c == "\\":
            regex += re.escape(entry[i + 1])
            i += 2
        else:
            regex += re.escape(c)
            i += 1
    return regex


def vscode_patterns(text):
    return [re.compile(json.loads('"' + found + '"')) for found in re.findall(r'"regexp": "((?:[^"\\]|\\.)*)"', text)]


def messages(orbant):
    for arguments, files in RUNS:
        with tempfile.TemporaryDirectory() as directory:
            for name, content in files.items():
                path = os.path.join(directory, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as file:
                    file.write(content)
            result = subprocess.run([orbant] + arguments, cwd=directory, capture_output=True, text=True)
            yield arguments, result.stderr.replace("Exiting...", "Exiting...\n").splitlines()


def is_first_line(line):
    return not line.startswith(" ") and ": note: " not in line and line not in ("", "Exiting...")


def main():
    orbant, readme_path = os.path.abspath(sys.argv[1]), sys.argv[2]
    with open(readme_path) as file:
        text = section(file.read(), "#### Messages for editors")
    readers = {"Vim": vim_patterns(text), "VS Code": vscode_patterns(text)}
    if len(readers["Vim"]) != 5 or len(readers["VS Code"]) != 2:
        sys.exit("the README's patterns were not found: %d Vim entries, %d VS Code matchers"
                 % (len(readers["Vim"]), len(readers["VS Code"])))
    failures, firsts, extras = [], 0, 0
    for arguments, lines in messages(orbant):
        if not any(is_first_line(line) for line in lines):
            failures.append("%s printed no message" % " ".join(arguments))
        for line in lines:
            first = is_first_line(line)
            firsts += first
            extras += not first
            for reader, patterns in readers.items():
                matched = any(pattern.match(line) for pattern in patterns)
                if matched != first:
                    failures.append("%s %s %r (orbant %s)" % (reader, "misses" if first else "reads", line,
                                                            " ".join(arguments)))
    for failure in failures:
        print(failure)
    print("%d first lines and %d other lines checked" % (firsts, extras))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
