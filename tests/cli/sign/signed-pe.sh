#!/usr/bin/env bash
# A package signed afterwards with osslsigncode (and a throw-away certificate)
# still lists, verifies and extracts: the bootstrap's reader passes over the
# certificate table that signing appends. A signed stub takes no identity:
# writing into it would break its signature; the exit-code setting that
# --exit-code adds is left out then, with a warning.
. "$CLI_TESTS/common.sh"
[ -f "$CLI_TEST_BIN/pe_stub.exe" ] || { echo "needs a MinGW-w64 compiler"; exit 77; }
cp "$CLI_TEST_BIN/pe_stub.exe" vcboot.exe
printf 'installer program\n' >setup.exe
vcpack build --stub vcboot.exe --file installer=setup.exe --value executable=%installer% \
  -o pkg.exe >/dev/null
sign_with_throwaway_certificate pkg.exe signed.exe || exit
osslsigncode verify -CAfile cert.pem signed.exe >/dev/null && echo "the signature verifies"
vcpack list signed.exe | grep -E '^Behind|^Stub|^The archive'
vcpack verify signed.exe
mkdir out
vcpack extract signed.exe out >/dev/null && cmp setup.exe out/setup.exe && echo "extracted"
sign_with_throwaway_certificate vcboot.exe signed-stub.exe || exit
vcpack build --stub signed-stub.exe --file installer=setup.exe --value executable=%installer% \
  --product-name Acme -o identity.exe
echo "a signed stub with an identity: exit $?"
vcpack build --stub signed-stub.exe --file installer=setup.exe --value executable=%installer% \
  --exit-code installer -o exit-code.exe >/dev/null
echo "a signed stub with --exit-code: exit $?"
