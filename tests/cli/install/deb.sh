#!/usr/bin/env bash
# The Debian package, unpacked into a scratch root: it depends on the C and
# C++ run-time libraries only; its vcpack finds the installed stubs by name,
# makes a package that runs on the Linux stub and one on the win32 stub that
# list reads; the man page has every command, the variables, the manifest
# and the exit codes.
. "$CLI_TESTS/common.sh"
unpack_deb || exit 77
vcpack=root/usr/bin/vcpack
version="$($vcpack --version | cut -d' ' -f2)"
basename "$(cat deb-path)" | sed "s/$version/<version>/g"
dpkg-deb -f "$(cat deb-path)" Package Version Architecture Depends | sed "s/$version/<version>/g"
$vcpack stubs | sed -e "s|$PWD|.|" -e "s/$version/<version>/"

cp "$CLI_TEST_BIN/demo_installer" "$CLI_TEST_BIN/demo_post" .
$vcpack build --stub linux-x86_64 --file installer=demo_installer --file post=demo_post \
  --value executable=%installer% --value 'parameters=--exit-code 4 %commandline%' -o setup
./setup one two
echo "exit $?"

printf 'a Windows installer\n' >Setup.exe
$vcpack build --stub win32 --file installer=Setup.exe --value executable=%installer% -o setup.exe
$vcpack list setup.exe | grep -E "^Stub|complete" | sed "s/$version/<version>/g"
zcat root/usr/share/man/man1/vcpack.1.gz | grep '^\.S[HS]'
