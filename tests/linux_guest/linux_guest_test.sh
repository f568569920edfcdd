#!/usr/bin/env bash
# Boots a Linux guest in QEMU (q35, serial console, no display) whose
# initramfs holds busybox and the freshly built tolvi with its shared
# libraries, runs tolvi there as root and as an unprivileged user, and checks
# on the host every run's standard output, standard error and exit status.
#
#   linux_guest_test.sh TOLVI WORK_DIR
#
# The kernel is a stock cloud kernel unpacked by tools/install-deps.sh into
# TOLVI_GUEST_CACHE (default ~/.cache/tolvi/linux-guest). QEMU_TIMEOUT
# (seconds) and QEMU_ACCEL may be set in the environment. Exit status 77: QEMU cannot run on
# this machine at all (the test is skipped).
set -euo pipefail
source "$(dirname "$0")/../support/usage_text.sh"
source "$(dirname "$0")/guest_boot.sh"

tolvi=$(realpath "${1:?TOLVI}")
work=$(realpath -m "${2:?WORK_DIR}")
qemu_timeout=${QEMU_TIMEOUT:-100}
guest_prepare "$tolvi" "$work"

# Every run prints three marker lines: its status, then its standard output
# and standard error as hexadecimal, which the serial line's own line-end
# translation cannot alter.
{
  guest_init_preamble
  cat <<'INIT'
head -c 65536 /dev/zero >ec.bin
chmod 755 /tmp
mkdir -p fake/bus/acpi/drivers/ec/PNP0C09:00
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
run() {
  name=$1
  shift
  "$@" >"out.$name" 2>"err.$name"
  echo "@@@ $name status $?"
  echo "@@@ $name out $(hex "out.$name")"
  echo "@@@ $name err $(hex "err.$name")"
}
echo "@@@ booted $(cut -d' ' -f1 /proc/uptime)"
run usage tolvi
run decode tolvi ec.bin 64
run user su -s /bin/sh nobody -c "tolvi ec.bin 64"
run guard env TOLVI_SYSFS_ROOT=/tmp/fake tolvi ec.bin 64
echo "@@@ real-ec-driver $(ls /sys/bus/acpi/drivers/ec | tr '\n' ' ')"
echo "@@@ done"
poweroff -f
INIT
} >root/init
guest_boot serial "$qemu_timeout"
log=$(tr -d '\r' <serial.log)
echo "guest uptime when init started: $(sed -n 's/^@@@ booted //p' <<<"$log")s"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if [[ $log != *"@@@ done"* ]]; then
  fail "the guest never finished its runs (QEMU exit code $qemu_rc; 124: time-out)"
  tail -c 3000 serial.log >&2 || true
  cat serial.err >&2 || true
  exit 1
fi

field() { sed -n "s/^@@@ $1 $2 //p" <<<"$log" | head -n 1; }
as_hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
# check NAME STATUS STDOUT STDERR: the run's exact output and status.
check() {
  local name=$1 status=$2 out=$3 err=$4
  [[ $(field "$name" status) == "$status" ]] ||
    fail "$name: status $(field "$name" status), expected $status"
  local stream expected got
  for stream in out err; do
    [[ $stream == out ]] && expected=$(as_hex "$out") || expected=$(as_hex "$err")
    got=$(field "$name" "$stream")
    [[ $got == "$expected" ]] ||
      fail "$name: standard $stream differs (hex bytes)$nl got:      ${got:0:240}$nl expected: ${expected:0:240}"
  done
}

nl=$'\n'
nr=$'\n\r'
usage=$(usage_text "$nr")
decode=$'\n\rPlease check 0x66/0x62 are decode and try again!\n\n'

# 1. No argument: the usage, status 0, no port touched.
check usage 0 "$usage" ""
# 2. As root: iopl succeeds, q35 decodes nothing at 0x62/0x66, and the real
# sysfs has no ACPI EC device bound (q35 declares no EC), so the run reads
# 0xFF and refuses with the decode message.
check decode 1 "$decode" ""
# 3. Unprivileged: refused for the port privilege before any port access.
check user 1 "" $'tolvi: no access to I/O ports (run as root): Operation not permitted\n'
# 4. A sysfs tree with an EC device bound: the guard refuses before the ports.
check guard 1 "" "tolvi: the kernel's ACPI EC driver is bound to PNP0C09:00: the kernel talks to \
ports 0x62/0x66 at any time and would interleave its bytes with the flash tunnel.
tolvi: run tolvi from the UEFI Shell (the safe way), or set TOLVI_ALLOW_ACPI_EC=1 to take the risk.
"
# The real driver directory exists but holds no device.
driver=$(sed -n 's/^@@@ real-ec-driver //p' <<<"$log")
[[ $driver == *bind* && $driver != *PNP0C09* ]] ||
  fail "the guest's /sys/bus/acpi/drivers/ec is not a driver without a device: '$driver'"

if ((failures != 0)); then
  echo "$failures check(s) failed; files in $work" >&2
  exit 1
fi
echo "all Linux guest checks passed"
