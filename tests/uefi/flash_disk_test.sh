#!/usr/bin/env bash
# Boots the USB disk that tools/make-flash-disk.sh makes, in QEMU with OVMF's
# built-in UEFI Shell, with tolvi-sim.efi in the place of tolvi.efi: once with
# an update that succeeds and once with one that fails after writing; and with
# the real tolvi.efi, which OVMF's machine refuses before any write (nothing
# decodes the EC's ports). Checks the verdict line startup.nsh prints on the
# console for each of the three exit statuses and the flash file the board
# model left on the disk against the image on the host.
#
#   flash_disk_test.sh SOURCE_DIR EFI_DIR WORK_DIR
#
# OVMF_CODE, OVMF_VARS and QEMU_TIMEOUT (seconds) may be set in the environment.
set -euo pipefail
source "$(dirname "$0")/ovmf_boot.sh"

src=$(cd "${1:?SOURCE_DIR}" && pwd)
efi_dir=$(cd "${2:?EFI_DIR}" && pwd)
work=$(realpath -m "${3:?WORK_DIR}")
qemu_timeout=${QEMU_TIMEOUT:-100}
prepare_ovmf_test "$work" "cmp python3" "$efi_dir/tolvi-sim.efi" "$efi_dir/tolvi.efi"

# Random, but with every bit of 0x1234 to clear, where the failing run's flash
# keeps one of them set.
head -c 65536 /dev/urandom >ec.bin
printf '\0' | dd of=ec.bin bs=1 seek=$((0x1234)) conv=notrunc status=none
ok_line="EC update finished: you may now restart"
failed_line="EC update FAILED: do not power off; run startup.nsh again"
refused_line="EC update not done, nothing was written: safe to power off; check the message above"

# Makes a disk for one tolvi-sim command line and lets QEMU leave through the
# isa-debug-exit port (exit code 85) after startup.nsh's own lines.
make_disk() {
  local disk=$1 efi=$2
  shift 2
  "$src/tools/make-flash-disk.sh" --efi "$efi" "$disk" ec.bin "$@" >/dev/null
  local part="$disk@@1048576"
  mcopy -n -i "$part" ::/startup.nsh "$disk.nsh"
  printf 'mm f4 2a -IO -w 1 -n\r\nreset -s\r\n' >>"$disk.nsh"
  mcopy -o -i "$part" "$disk.nsh" ::/startup.nsh
}

# A FAT disk ahead of the stick, so that the stick is not the shell's fs0: and
# startup.nsh has to find its own file system.
mkfs.fat -C first.img 2048 >/dev/null

# Boots a disk behind the plain FAT disk; its serial log is DISK.log.
boot() {
  local disk=$1
  cp first.img "$disk.first"
  boot_ovmf_shell "$ovmf_code" "$ovmf_vars" "$qemu_timeout" "$disk" "$disk.first" "$disk"
  reached_debug_exit "$disk"
}

# The verdict is the last line startup.nsh prints before the test's own exit.
verdict_of() {
  tr -d '\0' <"$1.log" | tr '\r' '\n' |
    grep -a -x -e "$ok_line" -e "$failed_line" -e "$refused_line" | tail -1
}

started=$(date +%s%N)
make_disk good.img "$efi_dir/tolvi-sim.efi" -- ec.bin 64
# A flash bit that stays 1 fails the verify of the first block (status 2).
make_disk bad.img "$efi_dir/tolvi-sim.efi" --fault bit-stuck:0x1234 -- ec.bin 64
# The real program on OVMF's machine: the decode refusal (status 1).
make_disk refused.img "$efi_dir/tolvi.efi"
# The boots at once: the two updates each on a core, the short refusal beside.
pids=()
for disk in good.img bad.img refused.img; do
  boot "$disk" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || failures=$((failures + 1))
done
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
echo "three boots: $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))s"

[[ $(verdict_of good.img) == "$ok_line" ]] || fail "good.img: verdict '$(verdict_of good.img)'"
[[ $(verdict_of bad.img) == "$failed_line" ]] || fail "bad.img: verdict '$(verdict_of bad.img)'"
[[ $(verdict_of refused.img) == "$refused_line" ]] ||
  fail "refused.img: verdict '$(verdict_of refused.img)'"
tr -d '\0' <refused.img.log | grep -a -q "Please check 0x66/0x62 are decode" ||
  fail "refused.img: no decode refusal above the verdict"

# The board model's flash: the image, then the rest of the 1 MB part erased.
python3 - "$work" <<'PY' || failures=$((failures + 1))
import subprocess, sys
work = sys.argv[1]
image = open(f"{work}/ec.bin", "rb").read()
bad = 0
for disk in ("good.img", "bad.img"):
    out = f"{work}/{disk}.flash"
    subprocess.run(["mcopy", "-n", "-i", f"{work}/{disk}@@1048576", "::/tolvi-sim-flash.bin", out],
                   check=True)
    flash = open(out, "rb").read()
    rest = flash[len(image):]
    if len(flash) != 1 << 20 or rest != b"\xff" * len(rest):
        print(f"FAIL: {disk}: flash is {len(flash)} bytes or written beyond the image", file=sys.stderr)
        bad += 1
    same = flash[:len(image)] == image
    if same != (disk == "good.img"):
        print(f"FAIL: {disk}: flash {'equals' if same else 'differs from'} the image", file=sys.stderr)
        bad += 1
sys.exit(1 if bad else 0)
PY

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed; files in $work" >&2
  exit 1
fi
echo "flash disk checks passed"
