#!/usr/bin/env bash
# Lint findings are warnings (exit 0), and errors with --strict (exit 1).
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup --value 'parameters=%target% "%source%"' \
  --value 'post=%loop%' --value 'loop=x%loop%' -o pkg >/dev/null
vcpack verify pkg; echo "exit $?"
echo "=== --strict"
vcpack verify --strict pkg >/dev/null; echo "exit $?"
echo "=== an installer that is no file of the package"
vcpack build --stub vcboot --file setup --value executable=Setup.exe -o pkg2 >/dev/null
vcpack verify pkg2; echo "exit $?"
