#!/usr/bin/env bash
# A package made by vcpack that passes verify --strict runs with the native
# bootstrap: the installer gets the expanded parameters in the work folder,
# the post program its exit code, and the work folder is gone afterwards.
. "$CLI_TESTS/common.sh"
demo_package
vcpack verify --strict pkg >/dev/null && echo "verify --strict: no findings"
./pkg 'first argument' second
echo "exit $?"
ls -A "$TMPDIR"
echo "=== cut 10 bytes short: the package's own text, address and exit code"
vcpack build --stub vcboot --file installer=demo_installer --value executable=%installer% \
  --exit-code installer --text 'invalid-archive.caption=Broken download' \
  --product-name 'Acme Widget' --download-address https://acme.example/download/ -o own >/dev/null
head -c "$(($(stat -c %s own) - 10))" own >cut && chmod +x cut
./cut
echo "exit $?"
ls -A "$TMPDIR"
