#!/usr/bin/env bash
# Completes command lines with the bash completion file as bash does on Tab
# (COMP_WORDS, COMP_CWORD, the function "complete" names) and checks the
# candidates: for the built orbant and romtap, and for a stand-in orbant whose
# --help names an option the tool lacks, which must complete as well.
# Usage: completionTest.sh COMPLETION_FILE ORBANT ROMTAP
set -uo pipefail
absolute() { # path
  echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
}
completion=$(absolute "$1")
orbant=$(absolute "$2")
romtap=$(absolute "$3")
export LC_ALL=C

work=$(mktemp -d "${TMPDIR:-/tmp}/completion.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools" "$work/stand-in" "$work/project/src"
ln -s "$orbant" "$work/tools/orbant"
ln -s "$romtap" "$work/tools/romtap"
cat >"$work/stand-in/orbant" <<'HELP'
#!/bin/sh
cat <<'TEXT'
Options:
  --frobnicate FILE      an option orbant does not have.
  -q, --quiet            another.
TEXT
HELP
chmod +x "$work/stand-in/orbant"
cd "$work/project"
touch game.asm LIB.ASM notes.txt ./-odd.asm src/part.asm

# shellcheck source=/dev/null
source "$completion" || exit 1
complete -p orbant romtap >/dev/null || exit 1

failures=0
# expect "CANDIDATES" WORD... : completing the last WORD (empty: a new word)
# gives CANDIDATES, sorted and separated by blanks.
expect() {
  local expected=$1 function
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  function=$(complete -p "$1" | sed -E 's/.* -F ([^ ]+) .*/\1/')
  COMPREPLY=()
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | grep -v '^$' | tr '\n' ' ')
  got=${got% }
  if [ "$got" = "$expected" ]; then
    echo "ok: $* -> $got"
  else
    echo "FAILED: $*"
    echo "  expected: $expected"
    echo "  got:      $got"
    failures=$((failures + 1))
  fi
}

PATH=$work/tools:$PATH
# Options from orbant's --help, then sources (-odd.asm too: orbant takes an
# argument that is no option as the source), folders for -I, any file for the
# output and for option values that are files, nothing after the output.
expect "--deps --diagnostics=gnu" orbant --d
expect "--deps --diagnostics=gnu --help --listing --macros --symbols --symbols-format --temp --version --warnings-as-errors" orbant --
expect "--deps --diagnostics=gnu --help --listing --macros --symbols --symbols-format --temp --version --warnings-as-errors -D -I -W -h" orbant -
expect "-odd.asm LIB.ASM game.asm src" orbant ""
expect "src" orbant -I ""
expect "-odd.asm LIB.ASM game.asm src" orbant -I src -D DEBUG=1 --diagnostics=gnu ""
expect "-odd.asm LIB.ASM game.asm src" orbant --symbols=out.sym ""
expect "-odd.asm" orbant -- -
expect "-odd.asm LIB.ASM game.asm notes.txt src" orbant --listing ""
expect "-odd.asm LIB.ASM game.asm notes.txt src" orbant game.asm ""
expect "notes.txt" orbant -I src game.asm n
expect "" orbant game.asm out.rom ""
expect "" orbant -D ""
# romtap: its options (each once, though its help lists some twice), no
# guess for a value, files for the image and for the values its help calls
# <file>.
expect "--db --help --log --version -b -c -h -i -l -m -n -s -v -w" romtap -
expect "" romtap -i ""
expect "notes.txt" romtap -b 4000 -s 8000 no
expect "notes.txt" romtap --db no
expect "-odd.asm LIB.ASM game.asm notes.txt src" romtap --log ""

PATH=$work/stand-in:$PATH
expect "--frobnicate" orbant --fr
expect "-q" orbant -q
expect "notes.txt" orbant --frobnicate no
expect "-odd.asm LIB.ASM game.asm src" orbant --quiet ""

[ $failures -eq 0 ] && echo "Every completion as expected." && exit 0
echo "$failures completions differ."
exit 1
