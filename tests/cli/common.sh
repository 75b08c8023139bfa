# Helpers for the command-line tests; each test sources this file.
set -u

# A stand-in for the bootstrap: small and stable, so listings keep the same
# offsets from build to build. vcpack takes it because it holds the tail
# marker text, as every bootstrap does.
fake_stub() {
  printf 'fake bootstrap image; a real one holds chunked-installer-tail as a constant\n' >"${1:-vcboot}"
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
