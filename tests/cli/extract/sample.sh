#!/usr/bin/env bash
# The files land in DIR as the bootstrap writes them, and the variables are
# shown; nothing is started.
. "$CLI_TESTS/common.sh"
sample_package
mkdir out
vcpack extract pkg out
cmp setup out/setup && cmp readme.txt out/readme.txt && cmp post out/post && echo "contents match"
