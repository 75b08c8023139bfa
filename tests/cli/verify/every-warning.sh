#!/usr/bin/env bash
# One Windows package holding every warning that build can make: names that
# reach one file on Windows (case, an 8.3 short name, a path too long for a
# typical work folder), UTF-8 names, a binding of "commandline", an ELF
# installer, references left unresolved or cyclic, %source% outside quotes,
# a post program that is no file of the package. build writes it; verify prints the launch with every control byte escaped, exits
# with 0, and with 1 under --strict.
. "$CLI_TESTS/common.sh"
fake_pe_stub vcboot.exe
printf '\177ELF a Linux program\n' >setup.elf
printf 'read me\n' >readme.txt
long=$(printf 'n%.0s' {1..196}).txt
vcpack build --stub vcboot.exe --file installer=setup.elf --as Setup.exe \
  --file readme.txt --as App.TXT --file readme.txt --as app.txt \
  --file readme.txt --as "$long" --file readme.txt --as SETUPP~1.EXE \
  --file readme.txt --as 'Setup Program.exe' --file readme.txt --as 'Grüße.txt' \
  --value executable=%installer% \
  --value $'parameters=/q SOURCE=%source% %target% %loop%\r\e[2K/quiet' \
  --value 'loop=x%loop%' --value post=post.exe \
  --value commandline=mine -o pkg.exe; echo "exit $?"
echo "=== verify"
vcpack verify pkg.exe; echo "exit $?"
vcpack verify --strict pkg.exe >/dev/null 2>&1; echo "--strict: exit $?"
echo "=== verify --json"
vcpack verify --json pkg.exe 2>/dev/null; echo "exit $?"
