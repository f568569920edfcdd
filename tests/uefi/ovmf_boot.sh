# Sourced by the QEMU tests: checks what they need, then boots OVMF's UEFI
# Shell in the current folder and waits for QEMU to end.

# Sets ovmf_code and ovmf_vars (OVMF_CODE and OVMF_VARS may override them),
# exits with 2 when a tool or a file is missing, empties WORK_DIR and enters it.
#
#   prepare_ovmf_test WORK_DIR "EXTRA_TOOL..." FILE...
# Prints a python3 that has Debian's python3-pyte (a python3 of its own
# earlier on the PATH may lack it); fails with a message when none has.
python_with_pyte() {
  local candidate
  for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import pyte' 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  echo "missing python3-pyte" >&2
  return 1
}

prepare_ovmf_test() {
  local work=$1 tools=$2 tool f
  shift 2
  ovmf_code=${OVMF_CODE:-/usr/share/OVMF/OVMF_CODE_4M.fd}
  ovmf_vars=${OVMF_VARS:-/usr/share/OVMF/OVMF_VARS_4M.fd}
  for tool in qemu-system-x86_64 mkfs.fat mcopy timeout $tools; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 2; }
  done
  for f in "$ovmf_code" "$ovmf_vars" "$@"; do
    [[ -f $f ]] || { echo "missing file: $f" >&2; exit 2; }
  done
  rm -rf "$work"
  mkdir -p "$work"
  cd "$work"
}

ovmf_devices=()
ovmf_support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

#
#   boot_ovmf_shell OVMF_CODE OVMF_VARS TIMEOUT_SECONDS NAME DISK...
#
# The disks are attached in order as IDE drives. NAME.vars is a fresh copy of
# the variable store; the serial stream lands in NAME.log and QEMU's errors in
# NAME.err. Sets qemu_rc to QEMU's exit status (85: startup.nsh reached the
# debug-exit port). QEMU options in the array ovmf_devices are added; with
# ovmf_stamps set, NAME.stamps notes when each piece of the serial stream
# arrived (tests/support/real_ports.py stamp).
boot_ovmf_shell() {
  local ovmf_code=$1 ovmf_vars=$2 qemu_timeout=$3 name=$4
  shift 4
  local drives=() index=0 disk
  for disk in "$@"; do
    drives+=(-drive "file=$disk,format=raw,if=ide,index=$index")
    index=$((index + 1))
  done
  cp "$ovmf_vars" "$name.vars"
  # The serial line is both the console and the keyboard: one key press when
  # the shell offers to skip startup.nsh saves its five-second countdown.
  rm -f "$name.in"
  mkfifo "$name.in"
  local keys
  exec {keys}<>"$name.in"
  local serial=$name.log stamper=
  if [[ -n ${ovmf_stamps:-} ]]; then
    serial=$name.serial
    rm -f "$serial"
    mkfifo "$serial"
    python3 "$ovmf_support/real_ports.py" stamp "$name.stamps" \
      <"$serial" >"$name.log" &
    stamper=$!
  fi
  local started
  started=$(date +%s%N)
  timeout "$qemu_timeout" qemu-system-x86_64 \
    -machine pc -m 256 -nodefaults -display none -vga none -net none \
    -drive if=pflash,format=raw,unit=0,readonly=on,file="$ovmf_code" \
    -drive if=pflash,format=raw,unit=1,file="$name.vars" \
    "${drives[@]}" "${ovmf_devices[@]}" \
    -serial stdio -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
    <"$name.in" >"$serial" 2>"$name.err" &
  local qemu=$!
  for _ in $(seq 1 300); do
    if grep -aq 'seconds to skip' "$name.log" 2>/dev/null; then
      printf ' ' >&"$keys"
      break
    fi
    kill -0 "$qemu" 2>/dev/null || break
    sleep 0.1
  done
  qemu_rc=0
  wait "$qemu" || qemu_rc=$?
  [[ -z $stamper ]] || wait "$stamper" || true
  exec {keys}>&-
  local elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  echo "QEMU run $name: $((elapsed_ms / 1000)).$(printf %03d $((elapsed_ms % 1000)))s, exit code $qemu_rc"
}

# Returns 1, with the end of the serial log and QEMU's errors on stderr, when
# the boot NAME did not leave through the debug-exit port.
reached_debug_exit() {
  local name=$1
  [[ $qemu_rc -eq 85 ]] && return 0
  echo "FAIL: $name: QEMU ended with $qemu_rc, not through the debug-exit port at the end of startup.nsh (124: time-out)" >&2
  tail -c 3000 "$name.log" | tr -d '\033' >&2 || true
  cat "$name.err" >&2 || true
  return 1
}
