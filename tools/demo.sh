#!/usr/bin/env bash
# Builds tolvi-sim and runs the main job on the modelled board: flash a
# generated 64 KB image through the EC's follow mode, dump the flash back to
# XQRFW.bin, and compare the two.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" --target tolvi-sim

work="$root/build/demo"
mkdir -p "$work"
cd "$work"
rm -f tolvi-sim-flash.bin XQRFW.bin
sim="$root/build/tolvi-sim"

# A recognisable image: byte i holds (7 * i + i / 256) mod 256, so that no two
# 256-byte pages are alike; the version bytes 0x02 and 'B' at 0xFFF8, which
# /VBF shows as 02B.
python3 - <<'PY'
data = bytearray((i * 7 + (i >> 8)) & 0xFF for i in range(0x10000))
data[0xFFF8:0xFFFA] = b"\x02B"
open("ec.bin", "wb").write(data)
PY

echo "== tolvi-sim --screen -- ec.bin 64   (the last screen of the update)"
"$sim" --screen -- ec.bin 64
echo
echo "== tolvi-sim --stats -- /S 64   (dump the flash to XQRFW.bin)"
"$sim" --stats -- /S 64 2>stats.txt
echo
cat stats.txt
echo "== compare"
cmp <(head -c 65536 XQRFW.bin) ec.bin && echo "XQRFW.bin equals ec.bin (65536 bytes)"
