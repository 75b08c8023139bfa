#!/usr/bin/env bash
# Makes vcpack's man page from its own --help texts with help2man, so that the
# page cannot drift from them: the program's help, and each command's under
# COMMANDS; then the variables, the manifest and the exit codes, from
# man_page.h2m beside this script. Writes it gzip-compressed, as Debian keeps
# man pages.
#
#   make_man_page.sh VCPACK OUTPUT.1.gz
set -euo pipefail
vcpack="$1" output="$2"
include="$(mktemp)"
trap 'rm -f "$include"' EXIT

# Each command's help as it is printed: no filling, roff's own characters
# escaped.
{
  echo "[COMMANDS]"
  "$vcpack" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' |
    while read -r command; do
      echo ".SS vcpack $command"
      echo ".nf"
      "$vcpack" "$command" --help | sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
      echo ".fi"
    done
  cat "$(dirname "$0")/man_page.h2m"
  echo "[SEE ALSO]"
  echo "vcpack.md, README.md and docs/ in /usr/share/doc/vcboot/: the"
  echo "manifest, the findings, the package format, Windows and POSIX in full."
} >"$include"

help2man --no-info --section 1 --name "make vcboot installer packages and inspect them" \
  --include "$include" "$vcpack" | gzip -9n >"$output.tmp"
mv "$output.tmp" "$output"
