#!/usr/bin/env bash
# Warnings leave the exit code 0, and make it 1 with --strict; errors make it
# 1 in any case.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup --value executable=setup \
  --value 'parameters=%target% "%source%"' --value 'post=%loop%' \
  --value 'loop=x%loop%' -o pkg >/dev/null 2>&1
vcpack verify pkg; echo "exit $?"
echo "=== --strict"
vcpack verify --strict pkg >/dev/null 2>&1; echo "exit $?"
echo "=== no executable, and an installer that is no file of the package"
vcpack build --stub vcboot --file setup --allow no-executable -o pkg2 >/dev/null 2>&1
vcpack verify pkg2; echo "exit $?"
vcpack build --stub vcboot --file setup --value executable=Setup.exe \
  --allow installer-not-packaged -o pkg3 >/dev/null 2>&1
vcpack verify pkg3; echo "exit $?"
