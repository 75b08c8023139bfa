#!/usr/bin/env bash
# Packages on the real Windows stubs (the win32 and win64 builds) list the
# stub's kind and processor, the execution level that the stub's manifest
# requests and its version resource, whose version is vcpack's own; without
# options they carry the stub byte for byte. With an identity they list it.
. "$CLI_TESTS/common.sh"
for build in win32 win64; do
  [ -f "$CLI_TEST_WINDOWS_BUILDS/$build/bin/vcboot.exe" ] ||
    { echo "needs the $build build (cmake --workflow --preset $build)"; exit 77; }
done
version="$(vcpack --version | cut -d' ' -f2)"
printf 'installer program\n' >setup.exe
for build in win32 win64; do
  cp "$CLI_TEST_WINDOWS_BUILDS/$build/bin/vcboot.exe" vcboot.exe
  vcpack build --stub vcboot.exe --file installer=setup.exe --value executable=%installer% \
    -o "$build.exe" >/dev/null
  vcpack list "$build.exe" | grep '^Stub:' | sed 's/, an image.*//'
  head -c "$(stat -c %s vcboot.exe)" "$build.exe" | cmp -s - vcboot.exe &&
    echo "$build: the stub as it is"
  { vcpack list "$build.exe" | sed -n '/^Stub manifest/,$p'
    vcpack list --json "$build.exe" | sed -n '/^    "resources"/,/^    }/p'
  } | sed "s/$version/<version>/g" >"$build.txt"
done
cat win32.txt
cmp -s win32.txt win64.txt && echo "win64: the same"
cp "$CLI_TEST_SOURCE/examples/identity/product.ico" .
for build in win32 win64; do
  cp "$CLI_TEST_WINDOWS_BUILDS/$build/bin/vcboot.exe" vcboot.exe
  vcpack build --stub vcboot.exe --file installer=setup.exe --value executable=%installer% \
    --icon product.ico --version 2.1 --version-info 'ProductName=Acme Widget' \
    --execution-level highestAvailable --guard-name Acme.Setup --exit-code installer \
    -o "$build-identity.exe" >/dev/null
  { vcpack list "$build-identity.exe" | sed -n '/^Stub manifest/,$p'
    vcpack list --json "$build-identity.exe" | sed -n '/^      "icons"/,/^  },/p'
  } | sed "s/$version/<version>/g" >"$build.txt"
done
cat win32.txt
cmp -s win32.txt win64.txt && echo "win64: the same"
