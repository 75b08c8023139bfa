#!/usr/bin/env bash
. "$CLI_TESTS/common.sh"
sample_package
vcpack list pkg
