#!/usr/bin/env bash
# Every command has --help; build's documents the manifest and --output -.
vcpack --help
for command in build list verify extract; do
  echo "=== vcpack $command --help"
  vcpack "$command" --help
done
