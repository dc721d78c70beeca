#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs and 1 when it cannot:
# machines of one kind differ here (a kernel may have its 32-bit emulation
# disabled). It builds and starts a tiny 32-bit program that exits with 42,
# in the folder given as $1 (default: a temporary one).
# ORBANT_NO_32BIT=1 answers "cannot" without asking, to try that path anywhere.
set -uo pipefail
[ -n "${ORBANT_NO_32BIT:-}" ] && exit 1

mkdir -p "${1:-${TMPDIR:-/tmp}}"
work=$(mktemp -d "${1:-${TMPDIR:-/tmp}}/probe-32-bit.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$work/exit42.s"
as --32 -o "$work/exit42.o" "$work/exit42.s" >/dev/null 2>&1 &&
  ld -m elf_i386 -o "$work/exit42" "$work/exit42.o" >/dev/null 2>&1 || exit 1
"$work/exit42" >/dev/null 2>&1
[ $? -eq 42 ]
