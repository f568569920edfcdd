# Sourced by the QEMU tests: boots OVMF's UEFI Shell on disk.img in the
# current folder, with vars.fd as the variable store, and waits for QEMU to end.
# Leaves the serial stream in serial.log, QEMU's errors in qemu.err and its
# exit status in qemu_rc (85: startup.nsh reached the debug-exit port).
#
#   boot_ovmf_shell OVMF_CODE TIMEOUT_SECONDS

boot_ovmf_shell() {
  local ovmf_code=$1 qemu_timeout=$2
  # The serial line is both the console and the keyboard: one key press when
  # the shell offers to skip startup.nsh saves its five-second countdown.
  rm -f serial.in
  mkfifo serial.in
  exec 3<>serial.in
  local started
  started=$(date +%s%N)
  timeout "$qemu_timeout" qemu-system-x86_64 \
    -machine pc -m 256 -nodefaults -display none -vga none -net none \
    -drive if=pflash,format=raw,unit=0,readonly=on,file="$ovmf_code" \
    -drive if=pflash,format=raw,unit=1,file=vars.fd \
    -drive file=disk.img,format=raw,if=ide \
    -serial stdio -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
    <serial.in >serial.log 2>qemu.err &
  local qemu=$!
  for _ in $(seq 1 300); do
    if grep -aq 'seconds to skip' serial.log 2>/dev/null; then
      printf ' ' >&3
      break
    fi
    kill -0 "$qemu" 2>/dev/null || break
    sleep 0.1
  done
  set +e
  wait "$qemu"
  qemu_rc=$?
  set -e
  exec 3>&-
  local elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  echo "QEMU run: $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))s, exit code $qemu_rc"
}
