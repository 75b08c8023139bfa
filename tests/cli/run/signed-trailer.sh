#!/usr/bin/env bash
# What signing appends (alignment and a certificate table), taken from a
# signed Windows package and appended to a native one: the native bootstrap
# passes over it, as the Windows one does, and the package still runs.
. "$CLI_TESTS/common.sh"
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || { echo "needs $tool"; exit 77; }
done
[ -f "$CLI_TEST_BIN/pe_stub.exe" ] || { echo "needs a MinGW-w64 compiler"; exit 77; }
printf 'setup\n' >setup.exe
vcpack build --stub "$CLI_TEST_BIN/pe_stub.exe" --file setup.exe -o pe.exe >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=vcpack test" 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -in pe.exe -out signed.exe >/dev/null
tail_end=$(vcpack list --json signed.exe | sed -n 's/^  "tail_end": \([0-9]*\),$/\1/p')
demo_package
tail -c +$((tail_end + 1)) signed.exe >>pkg
vcpack list pkg | grep '^Behind'
vcpack verify pkg >/dev/null && echo "verified"
./pkg
echo "exit $?"
