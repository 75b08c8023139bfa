# Helpers for the command-line tests; each test sources this file.
set -u

# A stand-in for the bootstrap: small and stable, so listings keep the same
# offsets from build to build. vcpack takes it because it holds the tail
# marker text, as every bootstrap does.
fake_stub() {
  printf 'fake bootstrap image; a real one holds chunked-installer-tail as a constant\n' >"${1:-vcboot}"
}

# The same for a Windows bootstrap: vcpack takes a stub that begins with "MZ"
# for a Windows program and checks the package for Windows.
fake_pe_stub() {
  printf 'MZ stand-in for a Windows bootstrap; a real one holds chunked-installer-tail as a constant\n' >"${1:-vcboot.exe}"
}

# A small package: installer, readme, and the values that start the installer.
sample_inputs() {
  fake_stub vcboot
  printf 'installer program\n' >setup
  printf 'read me\n' >readme.txt
  printf 'post program\n' >post
}

sample_package() {
  sample_inputs
  vcpack build --stub vcboot --file installer=setup --file readme.txt \
    --file post=post --value executable=%installer% \
    --value 'parameters=/q "%source%" %commandline%' -o "${1:-pkg}" >/dev/null
}

# Flips one byte of a file at an offset.
flip_byte() {
  local file="$1" offset="$2" byte
  byte=$(od -An -tu1 -j "$offset" -N1 "$file" | tr -d ' ')
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# The real bootstrap and the sample programs, packed as the demo packs them:
# the installer ends with exit code 3.
demo_package() {
  cp "$CLI_TEST_BIN/vcboot" "$CLI_TEST_BIN/demo_installer" "$CLI_TEST_BIN/demo_post" .
  vcpack build --stub vcboot --file installer=demo_installer --file post=demo_post \
    --value executable=%installer% \
    --value 'parameters=--exit-code 3 --from "%source%" %commandline%' -o "${1:-pkg}" >/dev/null
}

# Signs the Windows executable $1 into $2 as a vendor signs a release, with a
# throw-away certificate, which stays in cert.pem for checking the signature.
# Without osslsigncode or openssl it says which is missing and returns 77, the
# exit code of a skipped test.
sign_with_throwaway_certificate() {
  local tool
  for tool in osslsigncode openssl; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; return 77; }
  done
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=vcboot throw-away" 2>/dev/null &&
    osslsigncode sign -certs cert.pem -key key.pem -in "$1" -out "$2" >/dev/null
}

# The Debian package that scripts/package made, unpacked into root/ as
# dpkg-deb -x does it; its path goes to deb-path. Without the package or
# dpkg-deb it says which is missing and returns 77.
unpack_deb() {
  local deb
  deb="$(ls "$CLI_TEST_PACKAGES"/vcboot_*_amd64.deb 2>/dev/null | head -n 1)"
  [ -n "$deb" ] || { echo "needs the Debian package in $CLI_TEST_PACKAGES (scripts/package)"; return 77; }
  command -v dpkg-deb >/dev/null || { echo "needs dpkg-deb"; return 77; }
  dpkg-deb -x "$deb" root && echo "$deb" >deb-path
}

# The commands of the ```sh blocks of a Markdown page, one a line: a line
# ending in a backslash is joined to the next, and comments (" # ..." and
# lines of their own) are left out.
documented_commands() {
  awk '/^```sh$/ { on = 1; next } /^```/ { on = 0 } on' "$1" |
    sed -e 's/^ *#.*$//' -e 's/  *# .*$//' |
    awk '{ if (sub(/\\$/, "")) { line = line $0; next } print line $0; line = "" }' |
    sed -e 's/  */ /g' -e '/^ *$/d'
}

# Runs the commands of a page's ```sh blocks in order with bash, each told
# with its exit code (and what it printed, when that is not 0); one for which
# `skip_command` (the test's own) prints a reason is told as skipped.
run_documented_commands() {
  local command reason status
  while IFS= read -r command; do
    if reason="$(skip_command "$command")"; then
      echo "skipped ($reason): $command"
      continue
    fi
    bash -c "$command" >command.log 2>&1 </dev/null
    status=$?
    echo "exit $status: $command"
    [ "$status" -eq 0 ] || sed 's/^/    /' command.log
  done < <(documented_commands "$1")
}
