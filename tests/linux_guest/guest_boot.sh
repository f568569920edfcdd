# Sourced by the Linux guest tests: the guest's root file system (busybox and
# the freshly built tolvi with its shared libraries) and its boot in QEMU (q35,
# serial console, no display). The kernel is a stock cloud kernel unpacked by
# tools/install-deps.sh into TOLVI_GUEST_CACHE (default
# ~/.cache/tolvi/linux-guest). QEMU_ACCEL may be set in the environment.

# Checks what the guest needs (exit 77 when QEMU cannot run here at all, 1
# when a file or tool is missing), empties WORK_DIR, enters it and fills
# root/ with everything but /init.
#
#   guest_prepare TOLVI WORK_DIR
# The first lines of every guest's /init: busybox's applets, the kernel's
# file systems, a scratch directory.
guest_init_preamble() {
  cat <<'PRE'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
cd /tmp
PRE
}

guest_prepare() {
  local tolvi=$1 work=$2
  local cache=${TOLVI_GUEST_CACHE:-${XDG_CACHE_HOME:-${HOME:-~}/.cache}/tolvi/linux-guest}
  guest_kernel=$cache/vmlinuz
  local busybox=${BUSYBOX:-/bin/busybox}
  if ! qemu-system-x86_64 -version >/dev/null 2>&1; then
    echo "SKIP: qemu-system-x86_64 cannot run here, so there is no Linux guest to test in"
    exit 77
  fi
  local missing=0 f tool
  for f in "$tolvi" "$guest_kernel" "$busybox"; do
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
}

# Packs root/ (with the /init the caller wrote) and boots it; the serial
# stream lands in NAME.log, QEMU's errors in NAME.err, its exit status in
# qemu_rc. QEMU options in the array guest_devices are added.
#
#   guest_boot NAME TIMEOUT_SECONDS
guest_devices=()
guest_boot() {
  local name=$1 qemu_timeout=$2
  chmod 755 root/init
  (cd root && find . | cpio -o -H newc --quiet) >"$name.cpio"
  # TCG by default: a /dev/kvm that is present but broken (nested hosts) hangs
  # QEMU instead of failing. QEMU_ACCEL=kvm where it is known to work.
  local accel=(-accel "${QEMU_ACCEL:-tcg}") started elapsed_ms
  started=$(date +%s%N)
  qemu_rc=0
  timeout "$qemu_timeout" qemu-system-x86_64 "${accel[@]}" \
    -machine q35 -m 256 -nodefaults -display none -vga none -net none -no-reboot \
    -kernel "$guest_kernel" -initrd "$name.cpio" \
    -append "console=ttyS0 panic=-1 quiet loglevel=1" \
    "${guest_devices[@]}" -serial stdio </dev/null >"$name.log" 2>"$name.err" || qemu_rc=$?
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  echo "QEMU run $name: $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))s (${accel[*]}), exit code $qemu_rc"
}
