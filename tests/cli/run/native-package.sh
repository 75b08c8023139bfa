#!/usr/bin/env bash
# A package made by vcpack runs with the native bootstrap: the installer gets
# the expanded parameters in the work folder, the post program its exit code,
# and the work folder is gone afterwards.
. "$CLI_TESTS/common.sh"
demo_package
./pkg 'first argument' second
echo "exit $?"
ls -A "$TMPDIR"
