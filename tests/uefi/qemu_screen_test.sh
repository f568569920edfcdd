#!/usr/bin/env bash
# The real firmware judges the board model's screen: OVMF's shell in QEMU runs
# tolvi-sim.efi for a set of operations, each on a cleared screen between two
# echoed markers, in the shell's starting mode and again after "mode 80 25"
# and "mode 100 31" (a script's run of the help does not stop for a key).
# screen_judge.py renders each run's serial stream with a
# terminal emulator and compares it cell by cell, character and colour, with
# the hosted tolvi-sim's --screen picture of the same run, and fails any line
# of the stream wider than 79 columns.
#
#   qemu_screen_test.sh EFI_DIR TOLVI_SIM WORK_DIR
#
# EFI_DIR holds tolvi-sim.efi; WORK_DIR is emptied and reused. OVMF_CODE,
# OVMF_VARS and QEMU_TIMEOUT (seconds) may be set in the environment.
set -euo pipefail
source "$(dirname "$0")/ovmf_boot.sh"

efi_dir=$(cd "${1:?EFI_DIR}" && pwd)
sim=$(realpath "${2:?TOLVI_SIM}")
work=$(realpath -m "${3:?WORK_DIR}")
here=$(cd "$(dirname "$0")" && pwd)
qemu_timeout=${QEMU_TIMEOUT:-150}
python=$(python_with_pyte) || exit 2
prepare_ovmf_test "$work" "" "$efi_dir/tolvi-sim.efi" "$sim"
mkdir host

# --- inputs --------------------------------------------------------------------
# A 128 KB image whose version bytes at 0xFFF8 (0x04, 'A') equal the BRAM's
# below, so /VBF shows its red verdict; /PB writes the first 4 KB.
head -c 131072 /dev/urandom >ec.bin
printf '\x04A' | dd of=ec.bin bs=1 seek=$((0xFFF8)) conv=notrunc status=none
head -c 4096 ec.bin >bbk.bin
# The image with a byte changed in one erase unit of each block, for /D and /U.
"$python" - <<'PY'
image = bytearray(open("ec.bin", "rb").read())
for at in (0x5010, 0x5011, 0x1AFFF):
    image[at] ^= 0x5A
open("ec2.bin", "wb").write(image)
PY
board="--bram-version 04,41"

# NAME|HARNESS AND PROGRAM ARGUMENTS. The page part (the default chip) keeps
# its flash in the default file across the cases; the others have their own.
cases=(
  "update-page|-- ec.bin 128"
  "update-aai|--flash aai.flash --chip sst25vf080b -- ec.bin 128"
  "compare-same|-- ec.bin 128 /D"
  "compare-differs|-- ec2.bin 128 /D"
  "update-changed|-- ec2.bin 128 /U"
  "erase-check-fails|--flash bad.flash --fault erase-leaves:1000 -- ec.bin 128"
  "time-out|--fault ec-ibf-stuck -- /VC"
  "dump|-- /S 64"
  "vb-newer|$board -- /VB 05A"
  "vb-not-newer|$board -- /VB 03A"
  "vbf|$board -- /VBF ec.bin"
  "v|-- /V"
  "vc|-- /VC"
  "t|-- /T"
  "pb|-- bbk.bin 4 /PB"
  "usage|"
  "help|-- /?"
  "wrong-parameter|-- /$(printf 'x%.0s' {1..200})"
  "size-mismatch|-- ec.bin 64"
  "no-operation|-- /k"
)
# The shell's own mode (80x50 on OVMF's serial console), the classic one, and
# 100x31, where the usage's longest line no longer wraps.
modes=(start 80x25 100x31)

: >cases.txt
{
  printf '@echo -off\r\nfs0:\r\nmode\r\n'
  index=0
  for mode in "${modes[@]}"; do
    [[ $mode == start ]] || printf 'mode %s\r\n' "${mode/x/ }"
    for entry in "${cases[@]}"; do
      IFS='|' read -r name args <<<"$entry"
      index=$((index + 1))
      printf '%s|%s|%s|%s\n' "$index" "$mode" "$name" "$args" >>cases.txt
      printf 'echo "@@B%d@@"\r\ncls\r\ntolvi-sim.efi %s\r\necho "@@E%d@@"\r\n' \
        "$index" "$args" "$index"
    done
  done
  # Leave through the isa-debug-exit port ((0x2a << 1) | 1 = 85), else power off.
  printf 'mm f4 2a -IO -w 1 -n\r\nreset -s\r\n'
} >startup.nsh
cp ec.bin ec2.bin bbk.bin host/

mkfs.fat -C disk.img 16384 >/dev/null
mcopy -i disk.img "$efi_dir/tolvi-sim.efi" ec.bin ec2.bin bbk.bin startup.nsh ::/

# --- boot ----------------------------------------------------------------------
boot_ovmf_shell "$ovmf_code" "$ovmf_vars" "$qemu_timeout" serial disk.img
reached_debug_exit serial || exit 1

# --- judgement -----------------------------------------------------------------
"$python" "$here/screen_judge.py" serial.log cases.txt "$sim" host
