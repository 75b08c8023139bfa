#!/usr/bin/env bash
# The identity written into a Windows stub (a small MinGW program): what is
# refused, and why; a stub that carries an identity already takes another
# into the same section, and a package that sets nothing carries its stub
# as it is; a damaged settings block and texts that a message
# box shows badly draw warnings.
. "$CLI_TESTS/common.sh"
[ -f "$CLI_TEST_BIN/pe_stub.exe" ] || { echo "needs a MinGW-w64 compiler"; exit 77; }
cp "$CLI_TEST_BIN/pe_stub.exe" stub.exe
cp "$CLI_TEST_SOURCE/examples/identity/product.ico" .
printf 'installer\n' >setup.exe
build() {
  local stub="$1"
  shift
  vcpack build --stub "$stub" --file installer=setup.exe --value executable=%installer% \
    "$@" -o pkg.exe >/dev/null
  echo "exit $?"
}
stub_image() {  # PACKAGE: the stub's image, as the package carries it
  head -c "$(vcpack list --json "$1" | sed -n 's/^    "image_size": \([0-9]*\),$/\1/p')" "$1"
}
echo "=== icon files that are no icons"
printf 'no icon at all' >text.ico
printf '\0\0\2\0\1\0' >cursor.ico
printf '\0\0\1\0\0\0' >empty.ico
head -c 1000 product.ico >cut.ico
cp product.ico no-bitmap.ico
printf 'XXXX' | dd of=no-bitmap.ico bs=1 seek=54 conv=notrunc status=none
for icon in text cursor empty cut no-bitmap missing; do build stub.exe --icon "$icon.ico"; done
echo "=== settings out of bounds, and stubs that take no identity"
build stub.exe --guard-name 'Acme/Setup'
build stub.exe --text "invalid-archive.text=$(head -c 2049 /dev/zero | tr '\0' x)"
cp "$CLI_TEST_BIN/vcboot" elf
build elf --icon product.ico
fake_stub fake
build fake --product-name Acme
build fake --exit-code installer
build stub.exe --execution-level requireAdministrator
echo "=== an identity, then another into the same section"
build stub.exe --icon product.ico --version 1.2 --version-info 'ProductName=Acme' \
  --product-name Acme
stub_image pkg.exe >first.exe
first="$(stat -c %s first.exe)"
build first.exe --version 3.0.1 --product-name 'Acme Widget' --ui none \
  --log '%TEMP%\acme-%pid%.log'
stub_image pkg.exe >second.exe
echo "stub images: $((first - $(stat -c %s stub.exe))) bytes more, then $(($(stat -c %s second.exe) - first)) more"
vcpack list pkg.exe | sed -n '/^Stub icon/,$p'
build stub.exe
stub_image pkg.exe | cmp - stub.exe && echo "without options: the stub as it is"
build first.exe --version 3.0.1 --product-name 'Acme Widget'
echo "=== a damaged settings block"
offset="$(grep -obUa VCBOOTSB pkg.exe | head -n 1 | cut -d: -f1)"
flip_byte pkg.exe $((offset + 40))
vcpack list pkg.exe | grep '^Stub settings'
vcpack verify pkg.exe >/dev/null
echo "verify: exit $?"
echo "=== texts that a message box shows badly"
build stub.exe --text 'invalid-archive.text=Start %installer% again' \
  --text "already-running.caption=$(head -c 81 /dev/zero | tr '\0' x)" \
  --text 'no-temp-directory.text=Grüße'
