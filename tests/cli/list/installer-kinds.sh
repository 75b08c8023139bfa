#!/usr/bin/env bash
# list names the installer's kind, told by its first bytes (or, for cmd.exe's
# scripts, its name), and the processor of a program: the Windows shell opens
# an MSI package or a .cmd file through its file association, and runs a
# PE32+ program on 64-bit Windows only. --json tells the same.
. "$CLI_TESTS/common.sh"
# A PE header: "MZ", the header's offset (0x40) at 0x3C, "PE\0\0", the
# machine, and 20 bytes on the optional header's magic.
pe() {
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0'
    printf "$1"; head -c 18 /dev/zero; printf "$2"; head -c 64 /dev/zero; } >"$3"
}
pe '\x4c\x01' '\x0b\x01' pe32.exe
pe '\x64\x86' '\x0b\x02' vcboot.exe
echo 'a stand-in bootstrap: chunked-installer-tail' >>vcboot.exe
pe '\x64\x86' '\x0b\x02' pe32plus.exe
pe '\x64\xaa' '\x0b\x02' arm64.exe
pe '\x34\x12' '\x0b\x01' unknown.exe
{ printf 'MZ'; head -c 100 /dev/zero; } >dos.exe
{ printf '\x7fELF\x02\x01\x01'; head -c 11 /dev/zero; printf '\x3e\0'; } >linux.elf
printf '#!/bin/sh\n' >setup.sh
printf '@echo off\r\nmsiexec /i "%%~dp0product.msi" /qn\r\n' >install.cmd
{ printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1'; head -c 504 /dev/zero; } >product.msi
printf 'text\n' >readme.txt
for file in pe32.exe pe32plus.exe arm64.exe unknown.exe dos.exe \
  setup.sh install.cmd product.msi readme.txt linux.elf; do
  vcpack build --stub vcboot.exe --file "installer=$file" \
    --value executable=%installer% -o pkg.exe >/dev/null 2>&1
  vcpack list pkg.exe 2>/dev/null | grep '^Installer:'
done
vcpack list pkg.exe 2>/dev/null | grep '^Stub:' | sed 's/, an image.*//'
vcpack list --json pkg.exe 2>/dev/null | grep -A3 '"\(installer_\)\?format"' | tr -d ' \n'
echo
