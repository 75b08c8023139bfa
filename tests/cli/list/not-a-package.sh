#!/usr/bin/env bash
# A file without a tail marker is invalid (1), and so is a package cut short
# inside its stub, whose tail marker text is the stub's own constant; one that
# cannot be opened is an I/O error (2), and so is a folder.
printf 'just some bytes, long enough to be scanned for a tail marker\n' >plain
vcpack list plain; echo "exit $?"
. "$CLI_TESTS/common.sh"
sample_package
head -c 70 pkg >cut
vcpack list cut; echo "exit $?"
vcpack list absent; echo "exit $?"
vcpack list .; echo "exit $?"
