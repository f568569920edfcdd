#!/usr/bin/env bash
# The real tolvi.efi past the decode check: OVMF's shell in QEMU runs it with
# QEMU's own i8042 on 0x60/0x64 and an isa-debugcon on each of 0x62 and 0x66,
# which answers every read with one fixed byte and logs every byte written.
# Each case boots once and is judged against the board model (tolvi-sim with
# --port-answer, the same fixed answers): the firmware's screen against the
# model's (screen_judge.py), the bytes written to 0x66 against the model's
# port trace, %lasterror%, the line the run ends on, and, for a time-out, the
# time from the line before the wait to the time-out line as the host saw
# them arrive on the serial line: the wait limit on the firmware's own clock.
#
#   real_ports_test.sh EFI_DIR TOLVI_SIM WORK_DIR
#
# OVMF_CODE, OVMF_VARS and QEMU_TIMEOUT (seconds per boot) may be set;
# REAL_PORTS_CASES, a pattern, picks cases by name.
set -euo pipefail
source "$(dirname "$0")/ovmf_boot.sh"

efi_dir=$(cd "${1:?EFI_DIR}" && pwd)
sim=$(realpath "${2:?TOLVI_SIM}")
work=$(realpath -m "${3:?WORK_DIR}")
here=$(cd "$(dirname "$0")" && pwd)
ports="$here/../support/real_ports.py"
qemu_timeout=${QEMU_TIMEOUT:-90}
python=$(python_with_pyte) || exit 2
prepare_ovmf_test "$work" "cmp" "$efi_dir/tolvi.efi" "$sim"

# NAME|0x66 ANSWERS|0x62 ANSWERS|COMMAND|LINE BEFORE THE WAIT|END LINE|%lasterror%|LIMIT (s)
# 0x66 reads as the EC's status (bit 0 output full, bit 1 input full); 0x62
# as every byte the EC or the flash returns, the 0xDC acknowledgement and the
# flash's status register included.
cases=(
  "busy|01|33|tolvi.efi ec.bin 64|vReadSPIDeviceID start|Time-out: SPI flash stayed busy|0x15|10"
  "silent-ec|00|33|tolvi.efi ec.bin 64|Read EC Data|Time-out: no EC data byte (port 0x66 OBF) arrived|0x15|2"
  "ibf-stuck|02|33|tolvi.efi ec.bin 64|Send EC Cmd 0xDC|Time-out: EC input buffer (port 0x66 IBF) never cleared|0x15|2"
  "latch|01|00|tolvi.efi ec.bin 64|Block Number|Time-out: SPI flash write-enable latch never set|0x15|1"
  "latch-stays|01|02|tolvi.efi ec.bin 64|-- Erase OK.|Time-out: SPI flash write-enable latch never cleared|0x7|1"
  "dump|01|00|tolvi.efi /S 64||-- Save OK!|0x0|"
)

head -c 65536 /dev/urandom >ec.bin
for entry in "${cases[@]}"; do
  IFS='|' read -r name a66 a62 command before end_line status limit <<<"$entry"
  [[ $name == ${REAL_PORTS_CASES:-*} ]] || continue
  mkdir "$name"
  (
    cd "$name"
    mkdir host
    cp ../ec.bin host/
    board="--sio none --port-answer 66:$a66 --port-answer 62:$a62"
    printf '1|start|%s|%s -- %s\n' "$name" "$board" "${command#tolvi.efi }" >cases.txt
    printf '@echo -off\r\nfs0:\r\nmode\r\necho "@@B1@@"\r\ncls\r\n%s\r\necho "@@E1@@"\r\n' \
      "$command" >startup.nsh
    printf 'echo "@@S %%lasterror%%"\r\nmm f4 2a -IO -w 1 -n\r\nreset -s\r\n' >>startup.nsh
    mkfs.fat -C disk.img 16384 >/dev/null
    mcopy -i disk.img "$efi_dir/tolvi.efi" ../ec.bin startup.nsh ::/
    ovmf_devices=(
      -chardev "file,id=c66,path=p66.bin" -device "isa-debugcon,iobase=0x66,readback=0x$a66,chardev=c66"
      -chardev "file,id=c62,path=p62.bin" -device "isa-debugcon,iobase=0x62,readback=0x$a62,chardev=c62"
    )
    ovmf_stamps=1
    boot_ovmf_shell "$ovmf_code" "$ovmf_vars" "$qemu_timeout" serial disk.img
    reached_debug_exit serial || exit 1
    failures=0

    got=$(tr -d '\0\r' <serial.log | sed -n 's/.*@@S \([0-9a-fA-Fx]*\).*/\1/p' | head -n 1)
    [[ $got == "$status" ]] || fail "$name: %lasterror% ${got:-none}, expected $status"
    run_text=$(tr -d '\0' <serial.log | sed -n '/@@B1@@/,/@@E1@@/p')
    [[ $run_text == *"$end_line"* ]] || fail "$name: no '$end_line' in the run's console text"

    # The model under the same fixed answers: its port trace, then its screen.
    (cd host && "$sim" $board --trace-ports ../model-ports.txt -- ${command#tolvi.efi } \
      >/dev/null 2>&1) || true
    "$python" "$ports" compare p66.bin model-ports.txt ||
      fail "$name: the bytes written to 0x66 differ from the model's"
    "$python" "$here/screen_judge.py" serial.log cases.txt "$sim" host ||
      fail "$name: the firmware's screen differs from the model's"

    if [[ -n $limit ]]; then
      # A limit that ends early is a failure; late by more than half of it
      # and 2 s more (a busy host under emulation) is one as well. The host
      # stamps a line when it wakes to read it, so the start stamp can be late
      # by a scheduling slice: 50 ms of that is not taken for an early end.
      if took=$("$python" "$ports" interval serial.log serial.stamps "@@B1@@" "$before" "$end_line"); then
        echo "$name: '$command' with 0x66=$a66 0x62=$a62: waited ${took}s, limit ${limit}s"
        awk -v t="$took" -v l="$limit" 'BEGIN { exit !(t >= l - 0.05 && t <= l * 1.5 + 2) }' ||
          fail "$name: waited ${took}s, outside ${limit}s to $(awk -v l="$limit" 'BEGIN { print l * 1.5 + 2 }')s"
      else
        fail "$name: $took"
      fi
    fi
    if [[ $name == dump ]]; then
      mcopy -n -i disk.img ::/XQRFW.bin . 2>/dev/null || : >XQRFW.bin
      cmp -s XQRFW.bin <(head -c 65536 /dev/zero) ||
        fail "$name: XQRFW.bin ($(stat -c %s XQRFW.bin) bytes) is not the 64 KB of zeros the flash answered"
    fi
    exit "$failures"
  ) || failures=$((failures + 1))
done

if [[ $failures -ne 0 ]]; then
  echo "$failures case(s) failed; files in $work" >&2
  exit 1
fi
echo "all real-ports checks of tolvi.efi passed"
