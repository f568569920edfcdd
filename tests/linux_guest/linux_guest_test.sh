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

tolvi=$(realpath "${1:?TOLVI}")
work=$(realpath -m "${2:?WORK_DIR}")
cache=${TOLVI_GUEST_CACHE:-${XDG_CACHE_HOME:-${HOME:-~}/.cache}/tolvi/linux-guest}
kernel=$cache/vmlinuz
busybox=${BUSYBOX:-/bin/busybox}
qemu_timeout=${QEMU_TIMEOUT:-100}

if ! qemu-system-x86_64 -version >/dev/null 2>&1; then
  echo "SKIP: qemu-system-x86_64 cannot run here, so there is no Linux guest to test in"
  exit 77
fi
missing=0
for f in "$tolvi" "$kernel" "$busybox"; do
  [[ -f $f ]] || { echo "missing file: $f (tools/install-deps.sh provides it)" >&2; missing=1; }
done
for tool in cpio ldd timeout od; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (tools/install-deps.sh)" >&2; missing=1; }
done
((missing == 0)) || exit 1
# A dynamic busybox would need its own libraries in the guest.
if ldd "$busybox" >/dev/null 2>&1; then
  echo "$busybox is not static: install busybox-static" >&2
  exit 1
fi

rm -rf "$work"
mkdir -p "$work/root"/{bin,dev,proc,sys,tmp,etc}
cd "$work"

# --- initramfs -------------------------------------------------------------------
cp "$busybox" root/bin/busybox
cp "$tolvi" root/bin/tolvi
# tolvi's shared libraries and loader, at the paths the binary names.
ldd "$tolvi" | awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i }' | sort -u |
  while read -r lib; do
    mkdir -p "root$(dirname "$lib")"
    cp -L "$lib" "root$lib"
  done
printf 'root:x:0:0:root:/:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/sh\n' >root/etc/passwd
printf 'root:x:0:\nnogroup:x:65534:\n' >root/etc/group

# Every run prints three marker lines: its status, then its standard output
# and standard error as hexadecimal, which the serial line's own line-end
# translation cannot alter.
cat >root/init <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
cd /tmp
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
chmod 755 root/init
(cd root && find . | cpio -o -H newc --quiet) >initramfs.cpio

# --- boot --------------------------------------------------------------------------
# TCG by default: a /dev/kvm that is present but broken (nested hosts) hangs
# QEMU instead of failing. QEMU_ACCEL=kvm where it is known to work.
accel=(-accel "${QEMU_ACCEL:-tcg}")
started=$(date +%s%N)
set +e
timeout "$qemu_timeout" qemu-system-x86_64 "${accel[@]}" \
  -machine q35 -m 256 -nodefaults -display none -vga none -net none -no-reboot \
  -kernel "$kernel" -initrd initramfs.cpio \
  -append "console=ttyS0 panic=-1 quiet loglevel=1" \
  -serial stdio </dev/null >serial.log 2>qemu.err
qemu_rc=$?
set -e
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
log=$(tr -d '\r' <serial.log)
echo "QEMU run: $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))s (${accel[*]}), exit code $qemu_rc"
echo "guest uptime when init started: $(sed -n 's/^@@@ booted //p' <<<"$log")s"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if [[ $log != *"@@@ done"* ]]; then
  fail "the guest never finished its runs (QEMU exit code $qemu_rc; 124: time-out)"
  tail -c 3000 serial.log >&2 || true
  cat qemu.err >&2 || true
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
