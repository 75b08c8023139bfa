#!/usr/bin/env bash
# Warnings leave the exit code 0, and make it 1 with --strict; errors make it
# 1, unless verify is given the --allow that build was given. Each error
# names its fix.
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
vcpack verify --allow no-executable --strict pkg2 >/dev/null; echo "exit $?"
vcpack build --stub vcboot --file setup --value executable=Setup.exe \
  --allow installer-not-packaged -o pkg3 >/dev/null 2>&1
vcpack verify pkg3; echo "exit $?"
echo "=== %installer% without a file record of that key"
vcpack build --stub vcboot --file setup --value executable=%installer% -o pkg4
echo "exit $?"
echo "=== an unknown --allow"
vcpack verify --allow digest-mismatch pkg3; echo "exit $?"
