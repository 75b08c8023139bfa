#!/usr/bin/env bash
# A file of 4 GiB, one byte more than a length field can tell, is refused
# before anything is read or written (the file is sparse, and is never read:
# this is quick).
. "$CLI_TESTS/common.sh"
fake_stub vcboot
printf 'installer\n' >setup
truncate -s 4294967296 big
vcpack build --stub vcboot --file installer=setup --file big \
  --value executable=%installer% -o pkg; echo "exit $?"
ls pkg 2>/dev/null
true
