#!/usr/bin/env bash
# vcboot_add_package() of the unpacked Debian package with texts that CMake
# or TOML would take apart: control characters reach the package as they
# are; a '[' that no ']' closes, a ';' and a generator expression in a value
# are refused when the project is configured, naming the text, instead of
# losing or adding records.
. "$CLI_TESTS/common.sh"
unpack_deb || exit 77
mkdir project
printf '#!/bin/sh\n' >project/setup.sh
configure() {
  cat >project/CMakeLists.txt <<END
cmake_minimum_required(VERSION 3.25)
project(values NONE)
find_package(vcboot REQUIRED)
string(ASCII 13 cr)
string(ASCII 27 esc)
string(ASCII 7 bell)
string(ASCII 127 del)
vcboot_add_package(NAME package STUB linux-x86_64 OUTPUT setup
  FILES installer=setup.sh VALUES executable=%installer% $1)
END
  rm -rf build
  cmake -S project -B build -G Ninja -DCMAKE_PREFIX_PATH="$PWD/root/usr" >log 2>&1
  local status=$?
  sed -n '/^CMake Error/,/^Call Stack/p' log | sed -e '1d' -e '$d' -e 's/^ *//' |
    tr '\n' ' ' | sed -e 's/  */ /g' -e 's/ $//' -e '/./s/$/\n/'
  echo "configure: exit $status"
}
echo "=== control characters"
configure '"parameters=a${cr}b${esc}c${bell}${del}	\\ \"q\""'
cmake --build build >/dev/null || echo "build: exit $?"
vcpack verify build/setup | grep parameters
echo "=== an unclosed [ and the value after it"
configure '"parameters=/log:[x" "post=%installer%"'
echo "=== a ; in a value"
configure '"parameters=a\;b"'
echo "=== a generator expression in a value"
configure '"post=$<1:x>"'
echo "=== the identity: texts and settings, control characters and brackets kept"
configure 'TEXTS "invalid-archive.caption=Ka${bell}putt [1]" "already-running.text=a\\b" PRODUCT_NAME "Acme [1]" GUARD_NAME Acme.Setup UI none LOG "%TEMP%/acme-%pid%.log"'
cmake --build build >/dev/null || echo "build: exit $?"
vcpack list build/setup | sed -n '/^Stub settings/,$p'
echo "=== a generator expression in a text"
configure 'TEXTS "invalid-archive.text=$<1:x>"'
