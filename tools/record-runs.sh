#!/bin/sh
# Records a fixed set of tolvi-sim runs (console output, exit status, port
# trace, final flash file and any dump) into a directory, so that a change
# meant to keep behaviour can be checked byte for byte:
#
#   tools/record-runs.sh record build/tolvi-sim /tmp/ref    # before the change
#   tools/record-runs.sh record build/tolvi-sim /tmp/new    # after it
#   tools/record-runs.sh compare /tmp/ref /tmp/new
#
# Images and starting flash contents are generated here from fixed formulas,
# so two recordings of the same program are identical.
set -eu

usage() {
  echo "usage: $0 record SIM OUTDIR | $0 compare DIR1 DIR2" >&2
  exit 2
}

[ $# -eq 3 ] || usage
mode=$1

if [ "$mode" = compare ]; then
  if diff -r "$2" "$3" >/dev/null; then
    echo "identical: $(ls "$2" | wc -l) runs"
    exit 0
  fi
  diff -rq "$2" "$3" || true
  exit 1
fi
[ "$mode" = record ] || usage

sim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=$3
[ -x "$sim" ] || { echo "no program at $sim" >&2; exit 2; }
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# gen FILE SIZE SEED: bytes (i * 7 + (i >> 8) * 13 + SEED) mod 256; no byte
# run is all 0xFF, so a missed write shows.
gen() {
  perl -e 'my ($n, $s) = @ARGV; my $b = "";
           for (my $i = 0; $i < $n; ++$i) { $b .= chr(($i * 7 + ($i >> 8) * 13 + $s) & 0xFF) }
           print $b;' "$2" "$3" >"$1"
}
# fill FILE SIZE BYTE: the flash's starting contents.
fill() { perl -e 'print chr($ARGV[1]) x $ARGV[0]' "$2" "$3" >"$1"; }

img=$work/images
mkdir -p "$img"
gen "$img/i1000.bin" 1000 3
gen "$img/i1001.bin" 1001 5
gen "$img/i4.bin" 4096 11
gen "$img/i16.bin" 16384 17
gen "$img/i60.bin" 61440 23
gen "$img/i64.bin" 65536 29
gen "$img/i124.bin" 126976 31
gen "$img/i128.bin" 131072 37
gen "$img/i256.bin" 262144 41
printf '0123' >"$img/short.bin"

chip_size() {
  "$sim" --list-chips | awk -v c="$1" '$1 == c { print $6 * 1024 }'
}

# run NAME CHIP FILLBYTE [BOARD OPTIONS] -- [TOLVI ARGUMENTS]
run() {
  name=$1 chip=$2 byte=$3
  shift 3
  dir=$work/run/$name
  mkdir -p "$dir"
  fill "$dir/flash.bin" "$(chip_size "$chip")" "$byte"
  # Images by relative name: some runs print the path.
  for f in "$img"/*; do ln -s "$f" "$dir/$(basename "$f")"; done
  # The file-short fault cuts every file write of the process, the port
  # trace's included, so those runs go without one.
  trace="--trace-ports ports.txt"
  case $name in notrace-*) trace= ;; esac
  status=0
  (cd "$dir" && "$sim" --chip "$chip" --flash flash.bin $trace "$@" \
    >stdout.txt 2>stderr.txt) || status=$?
  echo "$status" >"$dir/status"
  mkdir -p "$out/$name"
  for f in stdout.txt stderr.txt status ports.txt flash.bin flash.bin.status XQRFW.bin; do
    [ -e "$dir/$f" ] && cp "$dir/$f" "$out/$name/$f"
  done
  printf '%-24s exit %s\n' "$name" "$status"
}

# Every chip profile, whole 64 KB image.
for chip in $("$sim" --list-chips | awk '{ print $1 }'); do
  run "whole-$chip" "$chip" 0x5A -- "i64.bin" 64
done
# Area paths on chips of each erase and program method.
run bk-w25q80 w25q80 0x5A -- "i4.bin" 4 /BK
run bk-xqr-a xqr-a 0x5A -- "i4.bin" 4 /BK
run bk-sst25vf512a sst25vf512a 0x5A -- "i4.bin" 4 /BK
run bk-m25p80 m25p80 0x5A -- "i4.bin" 4 /BK
run bk-mx25l512 mx25l512 0x5A -- "i4.bin" 4 /BK
run mn60-sst25vf080b sst25vf080b 0x5A -- "i60.bin" 60 /Mn
run mn124-w25q80 w25q80 0x5A -- "i124.bin" 124 /Mn
run mn124-xqr-a xqr-a 0x5A -- "i124.bin" 124 /Mn
run bp60-mx25l8005 mx25l8005 0x5A -- "i60.bin" 60 /Bp
run bp60-xqr xqr 0x5A -- "i60.bin" 60 /Bp
# Offsets, several blocks, odd sizes, size 0.
run o1000-w25q80 w25q80 0x5A -- "i16.bin" 16 /O 1000
run o1234-gd25q80 gd25q80 0x5A -- "i16.bin" 16 /O 1234
run o1000-64k-sst25vf080b sst25vf080b 0x5A -- "i64.bin" 64 /O 1000
run multi128-w25q80 w25q80 0x5A -- "i128.bin" 128
run multi128-mx25l512 mx25l512 0x5A -- "i128.bin" 128
run odd1000-w25q80 w25q80 0x5A -- "i1000.bin" 0
run odd1001-sst25vf080b sst25vf080b 0x5A -- "i1001.bin" 0
run odd1001-sst25vf512a sst25vf512a 0x5A -- "i1001.bin" 0
run odd1001-xqr-a xqr-a 0x5A -- "i1001.bin" 0
# Half-block chips and the mode-select chip (with and without /e).
run half1-w25q80 w25q80 0x5A --chip-id 5325 -- "i256.bin" 256
run half2-xqr xqr 0x5A --chip-id 5728 -- "i256.bin" 256
run modesel-w25q80 w25q80 0x5A --chip-id 5570 -- "i64.bin" 64
run modesel-e-w25q80 w25q80 0x5A --chip-id 5570 -- "i64.bin" 64 /e
# /j and /k.
run j-w25q80 w25q80 0x5A -- "i64.bin" 64 /j
run k-w25q80 w25q80 0x5A -- "i64.bin" 64 /k
run jk-bk-sst25vf080b sst25vf080b 0x5A -- "i4.bin" 4 /BK /j /k
# Dump, write test, protection.
run dump-w25q80 w25q80 0x5A -- /S 64
run dump-j-xqr xqr 0x5A -- /S 128 /j /k
run dump-modesel-mx25l512 mx25l512 0x5A --chip-id 5570 -- /S 64 /e
run test-w25q80 w25q80 0x5A -- /T
run test-k-modesel-xqr-a xqr-a 0x5A --chip-id 5570 -- /T /k
for chip in w25q80 sst25vf080b sst25vf512a at25sf081 m25p80 xqr pm25lv040; do
  run "protect-$chip" "$chip" 0x00 -- /PB
done
# Version and checksum.
run version w25q80 0xFF -- /V
run version-range w25q80 0xFF -- /V 2 4
run version-string w25q80 0xFF -- /VC
run version-bram w25q80 0xFF -- /VB
run version-bram-cmp w25q80 0xFF -- /VB 04A
run version-bram-file w25q80 0xFF -- /VBF "i64.bin"
run version-bram-short w25q80 0xFF -- /VBF "short.bin"
run checksum w25q80 0xFF -- /c "i64.bin"
run checksum-missing w25q80 0xFF -- /c "none.bin"
# Refusals and failures.
run usage w25q80 0xFF --
run size-mismatch w25q80 0x5A -- "i64.bin" 32
run bk-too-large w25q80 0x5A -- "i16.bin" 16 /BK
run no-ec w25q80 0x5A --no-ec -- "i64.bin" 64
run no-sio w25q80 0x5A --sio none -- "i64.bin" 64
run ack-fail w25q80 0x5A --ec-ack 00 -- "i64.bin" 64
run fail-erase w25q80 0x5A --fault erase-leaves:2345 -- "i64.bin" 64
run fail-verify sst25vf080b 0x5A --fault bit-stuck:1234 -- "i64.bin" 64
run fail-mn-xqr-a xqr-a 0x5A --fault bit-stuck:12345 -- "i124.bin" 124 /Mn
run timeout-busy w25q80 0x5A --fault busy-stuck -- "i64.bin" 64
run timeout-wel w25q80 0x5A --fault wel-never-sets -- /PB
run timeout-ec w25q80 0x5A --fault ec-ibf-stuck:40 -- "i64.bin" 64
run timeout-kbc-dump w25q80 0x5A --fault kbc-ibf-stuck:1 -- /S 64
run timeout-ec-test xqr 0x5A --fault ec-ibf-stuck:3 -- /T
run notrace-dump-short w25q80 0x5A --fault file-short:1000 -- /S 64
# Frames: a failed acknowledgement, /k and /j outside the update, and a
# time-out at the pre-enter command (before and after the 0xDC line).
run dump-ack-fail w25q80 0x5A --ec-ack 00 -- /S 64
run dump-k w25q80 0x5A -- /S 64 /k
run dump-small w25q80 0x5A -- /S 16
run test-ack-fail sst25vf080b 0x5A --ec-ack 00 -- /T
run protect-jk w25q80 0x00 -- /PB /j /k
run timeout-preenter-update w25q80 0x5A --chip-id 5570 --fault ec-ibf-stuck:1 -- i64.bin 64
run timeout-preenter-test w25q80 0x5A --chip-id 5570 --fault ec-ibf-stuck:1 -- /T
run timeout-preenter-dump w25q80 0x5A --chip-id 5570 --fault ec-ibf-stuck:1 -- /S 64
run version-no-chip w25q80 0xFF --sio none -- /VB
run version-bram-missing w25q80 0xFF -- /VBF none.bin
run checksum-no-name w25q80 0xFF -- /c
echo "recorded $(ls "$out" | wc -l) runs in $out"
