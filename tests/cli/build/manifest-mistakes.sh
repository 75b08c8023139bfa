#!/usr/bin/env bash
# Manifest mistakes are refused with their line and column.
. "$CLI_TESTS/common.sh"
fake_stub vcboot
printf 'stub = "vcboot"\n[[record]]\nfile = "setup"\nkye = "installer"\n' >typo.toml
vcpack build -m typo.toml -o pkg; echo "exit $?"
printf 'stub = "vcboot"\n[[record]]\nvariable = "x"\n' >novalue.toml
vcpack build -m novalue.toml -o pkg; echo "exit $?"
printf 'stub = "vcboot\n' >syntax.toml
vcpack build -m syntax.toml -o pkg; echo "exit $?"
vcpack build -m absent.toml -o pkg; echo "exit $?"
mkdir folder.toml
vcpack build -m folder.toml -o pkg; echo "exit $?"
