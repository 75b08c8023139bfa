#!/usr/bin/env bash
# A package made by vcpack that passes verify --strict runs with the native
# bootstrap: the installer gets the expanded parameters in the work folder,
# the post program its exit code, and the work folder is gone afterwards.
. "$CLI_TESTS/common.sh"
demo_package
vcpack verify --strict pkg >/dev/null && echo "verify --strict: no findings"
./pkg 'first argument' second
echo "exit $?"
ls -A "$TMPDIR"
