#!/usr/bin/env bash
# A variable bound twice: the record nearer the end wins. A file name stored
# twice: both are written, and the content of the one nearer the start, read
# last, remains. A binding of "source" never wins.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file installer=setup --file readme.txt --as setup \
  --value executable=first --value executable=%installer% --value source=mine \
  -o pkg 2>/dev/null >/dev/null
vcpack list pkg
