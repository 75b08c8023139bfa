#!/usr/bin/env bash
# Every command of the shell blocks of README.md and of vcpack's manual runs
# as written, in this order, against the unpacked Debian package, in a
# folder holding what a release engineer would have: the installers named
# (stand-ins), dist/ and a build tree's win32 stub. The commands that build
# or test this source tree, or install system-wide, are told as skipped.
. "$CLI_TESTS/common.sh"
unpack_deb || exit 77
export PATH="$PWD/root/usr/bin:$PATH"
skip_command() {
  case "$1" in
    scripts/* | cmake\ --build\ --preset* | ctest\ --preset*)
      echo "builds or tests the source tree; scripts/test runs it" ;;
    "sudo apt install ./$(basename "$(cat deb-path)")")
      echo "installs system-wide; the same .deb is unpacked here" ;;
    *) return 1 ;;
  esac
}
# The installers, standing in for real ones: setup.sh tells its arguments.
printf 'MZ a Windows installer\n' >Setup.exe
printf '#!/bin/sh\necho "$*" >"%s/installer-arguments"\n' "$PWD" >setup.sh
mkdir -p dist build/win32/bin
cp Setup.exe dist/Setup.exe
printf 'MZ a post program\n' >dist/post.exe
printf 'BM a logo\n' >dist/logo.bmp
cp root/usr/lib/vcboot/stubs/win32/vcboot.exe build/win32/bin/vcboot.exe
cp "$CLI_TEST_SOURCE/examples/identity/product.ico" .

for page in README.md tools/vcpack/README.md; do
  echo "=== $page"
  run_documented_commands "$CLI_TEST_SOURCE/$page"
done
echo "=== what the installer got: $(cat installer-arguments)"
