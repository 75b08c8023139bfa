#!/usr/bin/env bash
# Every command has --help; build's points to the manifest's format and explains
# --output -.
vcpack --help
for command in build list verify extract stubs; do
  echo "=== vcpack $command --help"
  vcpack "$command" --help
done
