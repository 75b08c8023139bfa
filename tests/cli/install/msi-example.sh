#!/usr/bin/env bash
# The MSI example (examples/msi-package): the commands of its README, run
# as written with the unpacked Debian package, make the .msi with wixl and
# pack it directly and through its .cmd wrapper; list names it an MSI.
. "$CLI_TESTS/common.sh"
command -v wixl >/dev/null || { echo "needs wixl (scripts/install-deps tools)"; exit 77; }
unpack_deb || exit 77
export PATH="$PWD/root/usr/bin:$PATH"
skip_command() { return 1; }
cp "$CLI_TEST_SOURCE"/examples/msi-package/* .
run_documented_commands README.md
vcpack list product-setup.exe | grep -E '^(Installer|Stub):' | sed 's/, an image.*//'
vcpack list product-setup-cmd.exe | grep -E '^(Installer|Files)' -A2
