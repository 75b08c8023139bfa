#!/usr/bin/env bash
# What signing appends (alignment and a certificate table), taken from a
# signed Windows package and appended to a native one: the native bootstrap
# passes over it, as the Windows one does, and the package still runs.
. "$CLI_TESTS/common.sh"
[ -f "$CLI_TEST_BIN/pe_stub.exe" ] || { echo "needs a MinGW-w64 compiler"; exit 77; }
printf 'setup\n' >setup.exe
vcpack build --stub "$CLI_TEST_BIN/pe_stub.exe" --file setup.exe --value executable=setup.exe \
  -o pe.exe >/dev/null
sign_with_throwaway_certificate pe.exe signed.exe || exit
tail_end=$(vcpack list --json signed.exe | sed -n 's/^  "tail_end": \([0-9]*\),$/\1/p')
demo_package
tail -c +$((tail_end + 1)) signed.exe >>pkg
vcpack list pkg | grep '^Behind'
vcpack verify pkg >/dev/null && echo "verified"
./pkg
echo "exit $?"
