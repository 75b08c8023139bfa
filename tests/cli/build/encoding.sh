#!/usr/bin/env bash
# --encoding converts stored names and values from UTF-8 to the code page in
# which a Windows bootstrap reads them; the package then draws no warning.
# Without it, the same package warns; a character that the code page lacks is
# refused. Only the code pages that Windows reads narrow texts in are taken.
. "$CLI_TESTS/common.sh"
fake_pe_stub vcboot.exe
printf 'setup\n' >setup.exe
printf 'hallo\n' >readme.txt
records=(--file installer=setup.exe --value executable=%installer%
  --value 'parameters=/user="Müller"' --file readme.txt)
vcpack build --stub vcboot.exe "${records[@]}" --as 'Grüße.txt' \
  --encoding CP1252 -o pkg.exe; echo "exit $?"
vcpack list pkg.exe | grep -E 'Gr|parameters'
vcpack verify --strict pkg.exe >/dev/null; echo "verify --strict: exit $?"
echo "=== as UTF-8"
vcpack build --stub vcboot.exe "${records[@]}" --as 'Grüße.txt' -o utf8.exe
echo "exit $?"
echo "=== a character CP1252 lacks"
vcpack build --stub vcboot.exe "${records[@]}" --as 'Ωmega.txt' \
  --encoding CP1252 -o omega.exe; echo "exit $?"
ls omega.exe 2>/dev/null
true
echo "=== only the ANSI code pages of Windows"
printf 'x\n' >ascii.txt
for page in ISO-2022-JP ISO-8859-2 UTF-8 CP1259 CP437 windows-1251 932 cp1258; do
  vcpack build --stub vcboot.exe --file installer=ascii.txt \
    --value executable=%installer% --encoding "$page" -o "$page.exe" >/dev/null
  echo "$page: exit $?"
done
