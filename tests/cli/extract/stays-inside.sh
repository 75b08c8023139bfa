#!/usr/bin/env bash
# extract writes only into DIR. A stored name with a folder part is not
# written (the bootstrap could not write it either), even where DIR holds a
# link of that name to another folder; an entry of DIR that is a link to a
# file elsewhere is replaced, never written through. For a Windows package,
# names that differ only in case reach one file, as they would on Windows.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file readme.txt --as lib/evil.sh \
  --file installer=setup --value executable=%installer% \
  --allow folder-in-name -o pkg >/dev/null 2>&1
mkdir out elsewhere
ln -s ../elsewhere out/lib
printf 'precious\n' >elsewhere/target
ln -s ../elsewhere/target out/setup
vcpack extract pkg out; echo "exit $?"
ls elsewhere
cat elsewhere/target
[ -L out/setup ] && echo "out/setup is still a link" || cat out/setup
echo "=== a Windows package"
fake_pe_stub vcboot.exe
vcpack build --stub vcboot.exe --file installer=setup --as Setup.exe \
  --value executable=%installer% --file readme.txt --as README.TXT \
  --file post --as readme.txt -o pkg.exe >/dev/null 2>&1
mkdir win
vcpack extract pkg.exe win; echo "exit $?"
ls win
cat win/readme.txt
