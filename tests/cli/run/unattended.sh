#!/usr/bin/env bash
# --ui none and --log (or "ui" and "log" in the manifest; the command line
# wins) write the package's settings into a Linux stub. Its run keeps its
# messages on standard error, where nothing waits for an answer, and tells
# them and everything else to the log. What no bootstrap would read is
# refused. (A Windows stub takes them as the identity does: build/identity.)
. "$CLI_TESTS/common.sh"
cp "$CLI_TEST_BIN/vcboot" "$CLI_TEST_BIN/demo_installer" .
printf 'stub = "vcboot"\nui = "none"\nlog = "%s/manifest.log"\n' "$PWD" >m.toml
vcpack build -m m.toml --file installer=demo_installer \
  --value executable=%installer% --value 'parameters=--exit-code 3 %commandline%' \
  --exit-code installer --log "$PWD/setup-%pid%.log" -o pkg >/dev/null
echo "build: exit $?"
./pkg /S >/dev/null 2>&1
echo "run: exit $?"
ls manifest.log 2>/dev/null
sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]{12}  //' setup-*.log |
  grep -E '^(Command line|Message|Guard|Installer: ended|Clean-up|Exit code)'
echo "=== refused"
for option in "--ui all" "--log setup.log" "--log %TEMP%/%product%.log"; do
  vcpack build --stub vcboot --file installer=demo_installer $option -o bad
  echo "exit $?"
done
ls bad* 2>/dev/null
