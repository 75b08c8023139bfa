#!/usr/bin/env bash
# Records follow the command line's order, values and files mixed; --as
# renames the --file before it.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --value executable=%installer% \
  --file installer=setup --as Setup.exe --file readme.txt --value 'parameters=/q' -o pkg
vcpack list pkg
