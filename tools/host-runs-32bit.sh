#!/bin/sh
# Exits 0 when this machine's kernel runs 32-bit x86 Linux programs, which
# Wine's 32-bit loader (wine32:i386, the 32-bit side of a 64-bit prefix)
# is. Some virtual machines have the kernel's IA-32 emulation off: there an
# i386 program fails with "Exec format error", and an installed wine32
# even breaks 64-bit Wine (Debian's wine command then picks the 32-bit
# loader for every program).
#
# The check runs a 93-byte static i386 program that only calls exit(0):
# an ELF header, one loadable segment, and mov eax,1; xor ebx,ebx;
# int 0x80.
set -e
probe=$(mktemp "${TMPDIR:-/tmp}/zolt-i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
# ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054,
# program headers at 52; then the segment: file offset 0 at 0x08048000,
# 93 bytes, readable and executable.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
printf '\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000' >>"$probe"
printf '\000\020\000\000\270\001\000\000\000\061\333\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
