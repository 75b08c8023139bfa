#!/usr/bin/env bash
# The pages that the Debian package and the Windows zip carry (the README,
# vcpack.md, docs/ and the examples): every link of theirs that is no
# address leads to a file that is installed too.
. "$CLI_TESTS/common.sh"
unpack_deb || exit 77
zip="$(ls "$CLI_TEST_PACKAGES"/vcboot-*-win64.zip 2>/dev/null | head -n 1)"
[ -n "$zip" ] || { echo "needs the Windows zip in $CLI_TEST_PACKAGES"; exit 77; }
mkdir unzipped
(cd unzipped && cmake -E tar xf "$zip")
check_links() {  # FOLDER: the installed docs
  local page target links=0 broken=0
  while IFS= read -r page; do
    while IFS= read -r target; do
      target="${target%%#*}"
      case "$target" in '' | *:*) continue ;; esac
      links=$((links + 1))
      [ -e "$(dirname "$page")/$target" ] ||
        { echo "  ${page#"$1"/} links $target, which is not there"; broken=$((broken + 1)); }
    done < <(grep -o '\]([^)]*)' "$page" | sed 's/^](\(.*\))$/\1/')
  done < <(find "$1" -name '*.md' | sort)
  echo "  $(cd "$1" && find . -name '*.md' | sort | tr '\n' ' ' | sed 's/ $//')"
  [ "$links" -gt 0 ] && [ "$broken" -eq 0 ] && echo "  every link leads to an installed file"
}
echo "=== the Debian package"
check_links root/usr/share/doc/vcboot
echo "=== the Windows zip"
check_links "$(ls -d unzipped/*/ | sed "s:/$::")"
