#!/usr/bin/env bash
# Damage in the tail chunk's digest and in its marker text, in a value, and
# in a length field.
. "$CLI_TESTS/common.sh"
sample_package
size=$(stat -c %s pkg)
cp pkg tail && flip_byte tail $((size - 5))
vcpack verify tail; echo "exit $?"
# The marker text nearest the end is then the one inside the stub's image.
cp pkg marker && flip_byte marker $((size - 30))
vcpack verify marker; echo "exit $?"
cp pkg value && flip_byte value $((size - 80))
vcpack verify value; echo "exit $?"
# The tail chunk's length field (22) made 0x10000016: it reaches before the
# start of the file, so the walk cannot even read the tail chunk.
cp pkg length && printf '\x10' | dd of=length bs=1 seek=$((size - 17)) conv=notrunc status=none
vcpack verify length; echo "exit $?"
# A suite that carries the package as a file (build warns of the marker text
# in it), cut short right behind it: the walk ends at the carried package's
# stub record, which does not begin the file.
vcpack build --stub vcboot --file pkg --value executable=pkg -o suite >/dev/null
carried_end=$(($(stat -c %s vcboot) + 20 + 6 + 20 + 2 * 24 + size))
head -c "$carried_end" suite >cut
vcpack verify cut; echo "exit $?"
