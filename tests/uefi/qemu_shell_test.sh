#!/usr/bin/env bash
# Boots OVMF's built-in UEFI Shell in QEMU (no KVM, no display), runs tolvi.efi
# and tolvi-sim.efi from startup.nsh on a FAT disk, and checks on the host what
# a user would see: console text captured with the shell's ASCII redirection,
# every run's %lasterror%, and the files the runs wrote.
#
#   qemu_shell_test.sh EFI_DIR WORK_DIR
#
# EFI_DIR holds tolvi.efi and tolvi-sim.efi; WORK_DIR is emptied and reused.
# OVMF_CODE, OVMF_VARS and QEMU_TIMEOUT (seconds) may be set in the environment.
set -euo pipefail
source "$(dirname "$0")/ovmf_boot.sh"
source "$(dirname "$0")/../support/usage_text.sh"

efi_dir=$(cd "${1:?EFI_DIR}" && pwd)
work=$(realpath -m "${2:?WORK_DIR}")
qemu_timeout=${QEMU_TIMEOUT:-100}
prepare_ovmf_test "$work" "mmd cmp od" "$efi_dir/tolvi.efi" "$efi_dir/tolvi-sim.efi"
mkdir out

# --- inputs --------------------------------------------------------------------
head -c 65536 /dev/urandom >ec.bin
# A larger stale dump: the new one must replace it, not overwrite its head.
head -c 100000 /dev/zero | tr '\0' 'Z' >XQRFW.bin

# The board model's BRAM holds version 04A (0x04, 'A'); 05A sorts after it and
# 03A before it.
board="--bram-version 04,41"

# Each run's console text goes to its own file (>a: ASCII); its status is
# appended to status.txt. The last line tells QEMU to exit through the
# isa-debug-exit port with 0x2a, which it reports as (0x2a << 1) | 1 = 85.
runs=(
  "usage|0x0|tolvi.efi"
  "decode|0x15|tolvi.efi ec.bin 64"
  "flash|0x0|tolvi-sim.efi -- ec.bin 64"
  "dump|0x0|tolvi-sim.efi -- /S 64"
  "vbnewer|0x0|tolvi-sim.efi $board -- /VB 05A"
  "vbolder|0x15|tolvi-sim.efi $board -- /VB 03A"
  "checksum|0x0|tolvi-sim.efi -- /c ec.bin"
  "missing|0x15|tolvi-sim.efi -- missing.bin 64"
  "dirimage|0x15|tolvi-sim.efi -- adir 0"
  "timeout|0x15|tolvi-sim.efi --fault ec-ibf-stuck -- /VC"
  "badopt|0x2|tolvi-sim.efi --no-such-option"
  "serial|0x0|tolvi-sim.efi $board -- /VB 05A"
)
{
  printf 'fs0:\r\n'
  for run in "${runs[@]}"; do
    IFS='|' read -r name _ command <<<"$run"
    if [[ $name == serial ]]; then
      # Not redirected: straight to the firmware console, seen on the serial log.
      printf '%s\r\n' "$command"
    else
      printf '%s >a %s.txt\r\n' "$command" "$name"
    fi
    printf 'echo %%lasterror%% >>a status.txt\r\n'
  done
  printf 'mm f4 2a -IO -w 1 -n\r\n'
  # Only reached if the debug-exit port is missing: power off instead.
  printf 'reset -s\r\n'
} >startup.nsh

mkfs.fat -C disk.img 16384 >/dev/null
mcopy -i disk.img "$efi_dir/tolvi.efi" "$efi_dir/tolvi-sim.efi" ec.bin XQRFW.bin startup.nsh ::/
# A directory where an image is named: it opens like a file but is none.
mmd -i disk.img ::/adir

# --- boot ----------------------------------------------------------------------
boot_ovmf_shell "$ovmf_code" "$ovmf_vars" "$qemu_timeout" serial disk.img
echo "tolvi.efi: $(stat -c %s "$efi_dir/tolvi.efi") bytes, tolvi-sim.efi: $(stat -c %s "$efi_dir/tolvi-sim.efi") bytes"

reached_debug_exit serial || exit 1

# --- results -------------------------------------------------------------------
wanted=(status.txt XQRFW.bin tolvi-sim-flash.bin)
for run in "${runs[@]}"; do
  IFS='|' read -r name _ _ <<<"$run"
  [[ $name == serial ]] || wanted+=("$name.txt")
done
for f in "${wanted[@]}"; do
  mcopy -n -i disk.img "::/$f" out/ 2>/dev/null || {
    fail "$f was not written"
    : >"out/$f"
  }
done

# The dump and the board model's flash file replace their names through a
# new file renamed into place: none of those new or set-aside files is left.
leftovers=$(mdir -b -i disk.img ::/ | grep -Ei '\.(new|old)[0-9]*$' || true)
[[ -z $leftovers ]] || fail "files left beside the ones replaced: $leftovers"

# Statuses, in run order.
mapfile -t statuses < <(tr -d '\r' <out/status.txt)
i=0
for run in "${runs[@]}"; do
  IFS='|' read -r name want command <<<"$run"
  got=${statuses[$i]:-none}
  [[ $got == "$want" ]] || fail "$command: %lasterror% $got, expected $want"
  i=$((i + 1))
done

# Compares a run's captured console text with the expected bytes. The
# program's line ends arrive as the firmware's print library makes them: CR LF.
expect_text() {
  local name=$1 expected=$2
  if ! cmp -s "out/$name.txt" <(printf '%s' "$expected"); then
    fail "$name: console text differs"
    echo "--- expected" >&2
    printf '%s' "$expected" | od -c | head -20 >&2
    echo "--- got" >&2
    od -c "out/$name.txt" | head -20 >&2
  fi
}
# Checks that a run's console text contains a piece.
expect_piece() {
  local name=$1 piece=$2
  local text
  # The trailing x keeps command substitution from eating final line ends.
  text=$(tr -d '\0' <"out/$name.txt"; printf x)
  text=${text%x}
  [[ $text == *"$piece"* ]] || fail "$name: no '$(printf '%q' "$piece")' in its console text"
}

crlf=$'\r\n'
usage=$(usage_text "$crlf")
expect_text usage "$usage"

# QEMU decodes nothing at 0x62/0x66, so the real program refuses to go on.
expect_text decode $'\r\nPlease check 0x66/0x62 are decode and try again!\r\n\r\n'

# The flash written by the first run and read back by the second.
if ! cmp -s out/XQRFW.bin ec.bin; then
  fail "XQRFW.bin ($(stat -c %s out/XQRFW.bin) bytes) is not the 64 KB image"
fi
if ! cmp -s -n 65536 out/tolvi-sim-flash.bin ec.bin; then
  fail "the board's flash file does not start with the image"
fi
expect_piece flash $'EC ACK OK. \r\n\r\n'
expect_piece flash $' -- Verify OK. \r\n'
expect_piece dump "Save FW to XQRFW.bin : "
expect_piece dump "-- Save OK!"

expect_piece vbnewer $'\r\nSIO FW version :04A '
expect_piece vbnewer $' \r\n=> Input version is newer then current FW!!\r\n'
expect_piece vbolder $' \r\n=> Input version is NOT newer then current FW!!\r\n'

sum=$(od -An -v -tu1 ec.bin | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%04X", s % 65536 }')
expect_piece checksum $'\r\nEC file ec.bin checksum : '"$sum"

# The run that was not redirected, as the firmware's terminal emulation put it
# on the serial line: screen cleared, banner at column 1 row 1 (the terminal
# counts from 1), and the verdict in light green.
serial=$(tr -d '\0' <serial.log)
serial=${serial##*"-- /VB 05A"}
[[ $serial == *$'\e[2J'*$'\e[02;02H XQR Flash Utility Version : 2.3.0'* ]] ||
  fail "serial: no cleared screen with the banner at column 1, row 1"
[[ $serial == *$'SIO FW version :04A \e[1m\e[32m'*'=> Input version is newer then current FW!!'* ]] ||
  fail "serial: the newer-version verdict is not in light green"

# A name the shell cannot open is a refusal, not a crash; the line after it
# names the file and, on the shell only, where names are looked up.
lookup=$'\r\nNames are looked up on the shell\'s current file system (fs0: etc.).'
expect_piece missing $'\r\nFile Open Fail!\r\nCannot open "'
expect_piece missing "$lookup"
# A directory is refused the same way, before the EC is asked for anything.
expect_piece dirimage $'\r\nFile Open Fail!'
expect_piece dirimage "$lookup"
grep -q "File Size" out/dirimage.txt && fail "dirimage: the directory was measured as an image"
# A controller that never answers ends the program from deep inside a wait;
# the image must come back to the shell with status 1.
expect_piece timeout $'\r\nTime-out: '
# The harness's own usage error keeps a status of its own (3).
expect_piece badopt "--no-such-option"

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed; files in $work" >&2
  exit 1
fi
echo "all UEFI shell checks passed"
