#!/usr/bin/env bash
# One package holding every error build can make: a refused name, a folder
# part, a name too long, an installer that is no file of the package, two
# expansions that never end (one doubles its text, one doubles its work), and
# an "exitcode" the bootstrap does not know. build refuses it and writes
# nothing; --allow takes each on purpose; list and verify then report the
# same errors (exit 1), unless they are given the same --allow.
. "$CLI_TESTS/common.sh"
sample_inputs
long=$(printf 'n%.0s' {1..252}).txt
big=$(printf 'x%.0s' {1..1024})
records=(--file setup --as ../setup --file readme.txt --as doc/readme.txt
  --file readme.txt --as "$long" --value executable=Setup.exe
  --value parameters=%d0% --value post=%e0% --value exitcode=Installer)
for i in $(seq 0 10); do records+=(--value "d$i=%d$((i + 1))%%d$((i + 1))%"); done
records+=(--value "d11=$big")
for i in $(seq 0 22); do records+=(--value "e$i=%e$((i + 1))%%e$((i + 1))%"); done
records+=(--value e23=)
vcpack build --stub vcboot "${records[@]}" -o pkg; echo "exit $?"
ls pkg 2>/dev/null
echo "=== allowed"
allowed=(--allow refused-name --allow folder-in-name --allow name-too-long
  --allow installer-not-packaged --allow unbounded-expansion
  --allow unknown-exit-code)
vcpack build --stub vcboot "${records[@]}" "${allowed[@]}" -o pkg; echo "exit $?"
vcpack list pkg >/dev/null; echo "list: exit $?"
vcpack list "${allowed[@]}" pkg >/dev/null 2>&1; echo "list --allow: exit $?"
vcpack verify "${allowed[@]}" --json pkg 2>/dev/null | grep -E '^  "(result|errors|warnings|allowed)":'
echo "verify --allow: exit ${PIPESTATUS[0]}"
echo "=== verify"
vcpack verify pkg; echo "exit $?"
echo "=== verify --json"
vcpack verify --json pkg 2>/dev/null; echo "exit $?"
