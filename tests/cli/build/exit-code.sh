#!/usr/bin/env bash
# --exit-code writes the value record "exitcode" last, so that it wins; list
# and verify tell the policy, and --json carries it.
. "$CLI_TESTS/common.sh"
sample_inputs
for policy in installer post; do
  vcpack build --stub vcboot --file installer=setup --file post=post \
    --value executable=%installer% --value exitcode=ignored \
    --exit-code "$policy" -o "$policy.pkg" >/dev/null; echo "exit $?"
  vcpack list "$policy.pkg" | grep -E '^ +[12] |^The archive|^Exit code'
  vcpack verify "$policy.pkg" | tail -1
done
vcpack list --json installer.pkg | grep -A3 '"exit_code"'
