#!/usr/bin/env bash
# Exits 0 if this machine can run 32-bit x86 programs, as Wine's 32-bit loader
# is one: some kernels are built or booted without 32-bit support.
# The probe is the smallest i386 program there is: it only calls exit(0).
set -u
probe=$(mktemp /tmp/zolt-i386-probe.XXXXXX) || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header, one loadable segment, then: mov eax, 1; xor ebx, ebx; int 0x80
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'\
'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'\
'\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000'\
'\000\000\000\000'\
'\001\000\000\000\124\000\000\000\124\200\004\010\124\200\004\010'\
'\011\000\000\000\011\000\000\000\005\000\000\000\001\000\000\000'\
'\270\001\000\000\000\061\333\315\200' > "$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
