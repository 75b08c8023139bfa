#!/usr/bin/env bash
# Bytes appended after packaging are passed over and counted.
. "$CLI_TESTS/common.sh"
sample_package
printf '\0\0\0\0\0padding' >>pkg
vcpack list pkg | grep -E 'tail chunk|Behind'
