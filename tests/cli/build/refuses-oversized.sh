#!/usr/bin/env bash
# A payload of 2^29 bytes, or a package of 4 GiB, is refused before anything
# is read or written (the files are sparse, so this is quick).
. "$CLI_TESTS/common.sh"
fake_stub vcboot
truncate -s 536870912 big
vcpack build --stub vcboot --file big -o pkg; echo "exit $?"
truncate -s 536870911 almost
args=()
for i in 1 2 3 4 5 6 7 8; do args+=(--file "almost" --as "part$i"); done
vcpack build --stub vcboot "${args[@]}" -o pkg; echo "exit $?"
ls pkg 2>/dev/null
true
