#!/usr/bin/env bash
# DIR must exist (2); a damaged package is extracted as far as the bootstrap
# would get, and reported (1).
. "$CLI_TESTS/common.sh"
sample_package
vcpack extract pkg missing; echo "exit $?"
flip_byte pkg 288
mkdir out
vcpack extract pkg out; echo "exit $?"
ls out
