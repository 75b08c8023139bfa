#!/usr/bin/env bash
# An unreadable input, a stub that is no bootstrap, and a package given as a
# stub are refused with exit code 1; an existing output stays as it was.
. "$CLI_TESTS/common.sh"
sample_package
echo old >out
vcpack build --stub vcboot --file missing.txt -o out; echo "exit $?"
mkdir docs
vcpack build --stub vcboot --file docs -o out; echo "exit $?"
vcpack build --stub setup --file readme.txt -o out; echo "exit $?"
vcpack build --stub pkg --file readme.txt -o out; echo "exit $?"
cat out
ls -A | grep vcpack- || echo "no temporary file left"
