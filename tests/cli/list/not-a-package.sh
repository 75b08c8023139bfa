#!/usr/bin/env bash
# A file without a tail marker is invalid (1); one that cannot be opened is
# an I/O error (2), and so is a folder.
printf 'just some bytes, long enough to be scanned for a tail marker\n' >plain
vcpack list plain; echo "exit $?"
vcpack list absent; echo "exit $?"
vcpack list .; echo "exit $?"
