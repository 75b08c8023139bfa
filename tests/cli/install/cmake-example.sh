#!/usr/bin/env bash
# The example project (examples/cmake-package), configured against the
# unpacked Debian package, makes its package in its build with
# vcboot_add_package; the package runs, and only a changed input file makes
# it again.
. "$CLI_TESTS/common.sh"
unpack_deb || exit 77
cp -r "$CLI_TEST_SOURCE/examples/cmake-package" project
cmake -S project -B build -G Ninja -DCMAKE_PREFIX_PATH="$PWD/root/usr" >log 2>&1 ||
  { cat log; exit 1; }
made() { cmake --build build | grep -o "vcpack: making.*" || echo "nothing made"; }
made
build/hello-setup 'first one' second
echo "exit $?"
made
echo "A changed readme." >project/readme.txt
made
build/hello-setup
echo "exit $?"
