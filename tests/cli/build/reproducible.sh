#!/usr/bin/env bash
# The same inputs give the same bytes, whatever the times and the folder.
. "$CLI_TESTS/common.sh"
sample_package one
mkdir elsewhere && cp vcboot setup readme.txt post elsewhere/
touch -d '2001-02-03 04:05:06' elsewhere/*
(cd elsewhere && vcpack build --stub vcboot --file installer=setup --file readme.txt \
  --file post=post --value executable=%installer% \
  --value 'parameters=/q "%source%" %commandline%' -o ../two >/dev/null)
cmp one two && echo "identical"
