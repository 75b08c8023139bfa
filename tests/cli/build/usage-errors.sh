#!/usr/bin/env bash
# Usage errors exit with 2, and nothing is written: an output that would
# replace an input, the stub or the manifest is one.
. "$CLI_TESTS/common.sh"
sample_inputs
vcpack build --stub vcboot --file setup -o -; echo "exit $?"
vcpack build --file setup -o pkg; echo "exit $?"
vcpack build --stub vcboot --as name --file setup -o pkg; echo "exit $?"
vcpack build --stub vcboot --value novalue -o pkg; echo "exit $?"
vcpack build --stub vcboot --file setup; echo "exit $?"
vcpack build --stub vcboot --file setup -o ''; echo "exit $?"
mkdir folder
vcpack build --stub vcboot --file setup -o folder; echo "exit $?"
for output in setup vcboot m.toml; do
  printf 'stub = "vcboot"\n' >m.toml
  vcpack build -m m.toml --file setup --value executable=setup -o "$output"
  echo "exit $?"
done
cmp -s setup <(printf 'installer program\n') && echo "setup is as it was"
vcpack build --stub vcboot --file setup --allow no-such-error -o pkg; echo "exit $?"
vcpack build --stub vcboot --file setup --allow same-file -o pkg; echo "exit $?"
vcpack build --stub vcboot --file setup --exit-code always -o pkg; echo "exit $?"
vcpack build --stub vcboot --file setup --encoding NO-SUCH-PAGE -o pkg; echo "exit $?"
ls pkg 2>/dev/null
true
echo "=== the identity's options"
for option in --text=no.such=x --text=invalid-archive.text --version-info=Product=x \
  --version=1.2.3.4.5 --version=1.65536 --version=1..2 --execution-level=admin; do
  vcpack build --stub vcboot --file setup "$option" -o pkg; echo "exit $?"
done
echo "=== an option given an empty text, as from an unset variable"
for option in --guard-name --exit-code; do
  vcpack build --stub vcboot --file setup "$option" "" -o pkg; echo "exit $?"
done
ls pkg 2>/dev/null
true
