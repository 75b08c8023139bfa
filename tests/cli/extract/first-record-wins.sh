#!/usr/bin/env bash
# Of two records storing one name, the earlier one's content remains; of two
# bindings, the later one wins.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup --file readme.txt --as setup \
  --value x=first --value x=second --value executable=setup -o pkg 2>/dev/null >/dev/null
mkdir out
vcpack extract pkg out
cmp setup out/setup && echo "setup holds the first record's content"
