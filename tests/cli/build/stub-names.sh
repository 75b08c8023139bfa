#!/usr/bin/env bash
# --stub and a manifest's "stub" take a target name, looked up in
# $VCBOOT_STUB_DIR, then ../lib/vcboot/stubs from vcpack's folder, then
# stubs/ beside vcpack; a file of that name comes first. `vcpack stubs` lists
# the targets with their versions; a folder without a stub is no target.
. "$CLI_TESTS/common.sh"
mkdir -p tool/bin variable/empty
cp "$CLI_TEST_BIN/vcpack" tool/bin/
stub_at() {  # FOLDER TARGET FILE VERSION
  mkdir -p "$1/$2"
  fake_stub "$1/$2/$3"
  printf 'vcboot stub version %s\0' "$4" >>"$1/$2/$3"
}
stub_at tool/lib/vcboot/stubs win32 vcboot.exe 1.0
stub_at tool/bin/stubs win32 vcboot.exe 0.9.1
stub_at tool/bin/stubs linux-x86_64 vcboot 0.9.1
stub_at variable linux-x86_64 vcboot 2.0
printf 'x\n' >setup
vcpack=tool/bin/vcpack
show() { sed "s|$PWD|.|g"; }

echo "=== by name"
$vcpack build --stub win32 --file setup --value executable=setup -o a.exe
$vcpack list a.exe | grep "^Stub:"
printf 'stub = "linux-x86_64"\n[[record]]\nfile = "setup"\n[[record]]\nvariable = "executable"\nvalue = "setup"\n' >manifest.toml
VCBOOT_STUB_DIR=$PWD/variable $vcpack build -m manifest.toml -o b
$vcpack list b | grep "^Stub:"
echo "=== a file of that name comes first"
fake_stub win32
$vcpack build --stub win32 --file setup --value executable=setup -o c.exe | show
$vcpack list c.exe | grep "^Stub:"
rm win32
echo "=== vcpack stubs"
VCBOOT_STUB_DIR=$PWD/variable $vcpack stubs | show
echo "=== unknown names"
$vcpack build --stub win23 --file setup -o d.exe 2>&1 | show
echo "exit ${PIPESTATUS[0]}"
VCBOOT_STUB_DIR=$PWD/none $vcpack build -m manifest.toml --stub solaris -o d.exe 2>&1 | show
rm -r tool/lib tool/bin/stubs
$vcpack build --stub win23 --file setup -o d.exe 2>&1 | show
$vcpack stubs 2>&1 | show
echo "exit ${PIPESTATUS[0]}"
ls d.exe 2>/dev/null || echo "no package written"
