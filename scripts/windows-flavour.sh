#!/usr/bin/env bash
# Prints the Windows flavour whose tests can run on this machine: win32 where
# the kernel runs 32-bit programs (the product under 32-bit Wine), else win64
# (the same tree as a 64-bit program under 64-bit Wine). Some kernels refuse
# 32-bit programs outright ("Exec format error"), whatever is installed.
# Needs nothing but bash: the package script asks it before installing.
set -u
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# The smallest 32-bit x86 Linux program: an ELF header, one loadable segment
# and the code `xor ebx,ebx; mov eax,1; int 0x80` (exit with status 0).
elf_header='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
elf_header+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
elf_header+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
segment='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
segment+='\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
code='\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80'
printf "$elf_header$segment$code" >"$probe"
chmod +x "$probe"
if "$probe" 2>/dev/null; then echo win32; else echo win64; fi
