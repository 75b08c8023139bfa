#!/usr/bin/env bash
# Names the bootstrap refuses are refused here, and nothing is written.
. "$CLI_TESTS/common.sh"
sample_inputs
for name in ../evil.exe /etc/passwd 'C:evil' 'sub\..\x' NUL.txt ''; do
  vcpack build --stub vcboot --file setup --value executable=setup \
    --file readme.txt --as "$name" -o pkg
  echo "exit $?"
done
ls pkg 2>/dev/null
true
