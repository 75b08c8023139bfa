#!/usr/bin/env bash
# The manifest's records come first, then the command line's; a later
# binding wins, so --value overrides the manifest's "parameters". Paths in
# the manifest are taken from its own folder.
. "$CLI_TESTS/common.sh"
mkdir project
(cd project && sample_inputs)
cat >project/package.toml <<'TOML'
stub = "vcboot"

[[record]]
file = "setup"
key = "installer"
as = "Setup.exe"

[[record]]
variable = "executable"
value = "%installer%"

[[record]]
variable = "parameters"
value = "/quiet"
TOML
vcpack build -m project/package.toml --value 'parameters=/passive' -o pkg
vcpack list pkg
