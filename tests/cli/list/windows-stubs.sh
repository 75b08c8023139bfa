#!/usr/bin/env bash
# Packages on the real Windows stubs (the win32 and win64 builds) list the
# stub's kind and processor, the execution level that the stub's manifest
# requests and its version resource, whose version is vcpack's own.
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
  { vcpack list "$build.exe" | sed -n '/^Stub manifest/,$p'
    vcpack list --json "$build.exe" | sed -n '/^    "resources"/,/^    }/p'
  } | sed "s/$version/<version>/g" >"$build.txt"
done
cat win32.txt
cmp -s win32.txt win64.txt && echo "win64: the same"
