#!/usr/bin/env bash
# Legal but probably unintended: a name stored twice, and a binding of a
# variable that the bootstrap sets itself. Both are written, with warnings.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup --file x=readme.txt --as setup \
  --value source=elsewhere --value executable=setup -o pkg
