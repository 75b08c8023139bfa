#!/usr/bin/env bash
# A flipped byte in the readme's content: the bootstrap stops at that record
# and starts nothing; list names the record and the chunk's offset.
. "$CLI_TESTS/common.sh"
sample_package
flip_byte pkg 288
vcpack list pkg
