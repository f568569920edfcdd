#!/usr/bin/env bash
# The Linux tolvi past the decode check: a QEMU Linux guest (the kernel's own
# i8042 driver bound to QEMU's i8042 on 0x60/0x64) runs it against an
# isa-debugcon on each of 0x62 and 0x66, which answers every read with one
# fixed byte and logs every byte written. Each case boots once; its standard
# output and the bytes written to 0x66 are judged against the board model
# (tolvi-sim with --port-answer, the same answers), its status and end line
# against the table, and a time-out's duration, taken in the guest on
# CLOCK_MONOTONIC (/proc/timer_list's "now at") around the run, against the
# wait's limit.
#
#   real_ports_test.sh TOLVI TOLVI_SIM WORK_DIR
#
# QEMU_TIMEOUT (seconds per boot) and QEMU_ACCEL may be set; REAL_PORTS_CASES,
# a pattern, picks cases by name. Exit status 77: QEMU cannot run here.
set -euo pipefail
source "$(dirname "$0")/guest_boot.sh"

tolvi=$(realpath "${1:?TOLVI}")
sim=$(realpath "${2:?TOLVI_SIM}")
work=$(realpath -m "${3:?WORK_DIR}")
ports=$(cd "$(dirname "$0")/../support" && pwd)/real_ports.py
qemu_timeout=${QEMU_TIMEOUT:-90}
guest_prepare "$tolvi" "$work"

# NAME|0x66|0x62|I8042 DRIVER|COMMAND|END LINE|STATUS|LIMIT (s)
# The i8042 driver is left bound or unbound before the run. With it bound, an
# operation that would send the keyboard controller commands is refused before
# any byte goes out (nothing reaches 0x66), and /k runs beside it.
cases=(
  "i8042-bound|01|33|bound|tolvi ec.bin 64|tolvi: add /k to leave the keyboard controller to the kernel, or run tolvi from the UEFI Shell (the safe way).|1|"
  "busy|01|33|bound|tolvi ec.bin 64 /k|Time-out: SPI flash stayed busy|1|10"
  "silent-ec|00|33|unbound|tolvi ec.bin 64|Time-out: no EC data byte (port 0x66 OBF) arrived|1|2"
)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
field() { sed -n "s/^@@@ $1 //p" "$2" | tr -d '\r' | head -n 1; }
unhex() { printf '%b' "$(sed 's/../\\x&/g' <<<"$1")"; }

# One byte set: an image of one byte value throughout is refused as no
# firmware before any port access.
{ printf '\001'; head -c 65535 /dev/zero; } >ec.bin
for entry in "${cases[@]}"; do
  IFS='|' read -r name a66 a62 driver command end_line status limit <<<"$entry"
  [[ $name == ${REAL_PORTS_CASES:-*} ]] || continue
  unbind=
  [[ $driver == unbound ]] && unbind='echo -n i8042 >/sys/bus/platform/drivers/i8042/unbind'
  {
  guest_init_preamble
  cat <<INIT
{ printf '\001'; head -c 65535 /dev/zero; } >ec.bin
hex() { od -An -v -tx1 "\$1" | tr -d ' \n'; }
now() { sed -n 's/^now at \([0-9]*\) nsecs\$/\1/p' /proc/timer_list | head -n 1; }
$unbind
echo "@@@ i8042 \$(ls /sys/bus/platform/drivers/i8042 | tr '\n' ' ')"
started=\$(now)
$command >out 2>err
status=\$?
ended=\$(now)
echo "@@@ status \$status"
echo "@@@ ns \$((ended - started))"
echo "@@@ out \$(hex out)"
echo "@@@ err \$(hex err)"
echo "@@@ done"
poweroff -f
INIT
} >root/init
  rm -f p66.bin p62.bin
  guest_devices=(
    -chardev "file,id=c66,path=p66.bin" -device "isa-debugcon,iobase=0x66,readback=0x$a66,chardev=c66"
    -chardev "file,id=c62,path=p62.bin" -device "isa-debugcon,iobase=0x62,readback=0x$a62,chardev=c62"
  )
  guest_boot "$name" "$qemu_timeout"
  if ! grep -q '^@@@ done' "$name.log"; then
    fail "$name: the guest never finished its run (QEMU exit code $qemu_rc; 124: time-out)"
    tail -c 2000 "$name.log" >&2 || true
    continue
  fi
  mv p66.bin "$name.p66" 2>/dev/null || : >"$name.p66"
  bound=$(field i8042 "$name.log")
  [[ ($driver == bound && $bound == *i8042*) || ($driver == unbound && $bound != *i8042*) ]] ||
    fail "$name: the guest's i8042 driver folder holds '$bound', expected the driver $driver"

  got=$(field status "$name.log")
  [[ $got == "$status" ]] || fail "$name: status $got, expected $status"
  unhex "$(field out "$name.log")" >"$name.out"
  unhex "$(field err "$name.log")" >"$name.err.txt"
  grep -qxF -- "$end_line" <(tr '\r' '\n' <"$name.out"; tr '\r' '\n' <"$name.err.txt") ||
    fail "$name: no line '$end_line' in its output"

  args=${command#tolvi }
  if [[ $driver == bound && $command != *" /k"* ]]; then
    # Refused before the frame: nothing reached 0x66.
    [[ ! -s $name.p66 ]] || fail "$name: $(stat -c %s "$name.p66") bytes reached 0x66 before the refusal"
  else
    "$sim" --sio none --port-answer "66:$a66" --port-answer "62:$a62" --flash "$name.flash" \
      --trace-ports "$name.model-ports" -- $args >"$name.model-out" 2>/dev/null || true
    python3 "$ports" compare "$name.p66" "$name.model-ports" ||
      fail "$name: the bytes written to 0x66 differ from the model's"
    cmp -s "$name.out" "$name.model-out" ||
      fail "$name: standard output differs from the model's ($name.out, $name.model-out)"
  fi

  if [[ -n $limit ]]; then
    took=$(awk -v ns="$(field ns "$name.log")" 'BEGIN { printf "%.3f", ns / 1e9 }')
    echo "$name: '$command' with 0x66=$a66 0x62=$a62: ran ${took}s on CLOCK_MONOTONIC, limit ${limit}s"
    # Early is a failure; late by more than half the limit and 2 s more as well.
    awk -v t="$took" -v l="$limit" 'BEGIN { exit !(t >= l && t <= l * 1.5 + 2) }' ||
      fail "$name: ran ${took}s, outside ${limit}s to $(awk -v l="$limit" 'BEGIN { print l * 1.5 + 2 }')s"
  fi
done

if ((failures != 0)); then
  echo "$failures check(s) failed; files in $work" >&2
  exit 1
fi
echo "all real-ports checks of the Linux tolvi passed"
