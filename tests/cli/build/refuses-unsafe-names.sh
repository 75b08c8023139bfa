#!/usr/bin/env bash
# Names the bootstrap refuses or can never write (it makes no folders, and no
# system takes a name of 256 bytes) are refused here, and nothing is written.
. "$CLI_TESTS/common.sh"
sample_inputs
long=$(printf 'n%.0s' {1..252}).txt
for name in ../evil.exe /etc/passwd 'C:evil' 'sub\..\x' NUL.txt '' . x/ a/b COM0 \
  LPT0.log "$long"; do
  vcpack build --stub vcboot --file setup --value executable=setup \
    --file readme.txt --as "$name" -o pkg
  echo "exit $?"
done
ls pkg 2>/dev/null
true
