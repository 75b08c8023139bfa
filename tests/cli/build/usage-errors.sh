#!/usr/bin/env bash
# Usage errors exit with 2.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup -o -; echo "exit $?"
vcpack build --file setup -o pkg; echo "exit $?"
vcpack build --stub vcboot --as name --file setup -o pkg; echo "exit $?"
vcpack build --stub vcboot --value novalue -o pkg; echo "exit $?"
vcpack build --stub vcboot --file setup; echo "exit $?"
