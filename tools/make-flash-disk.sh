#!/usr/bin/env bash
# Builds a disk image to write to a USB stick: one FAT partition holding
# tolvi.efi, the EC image and a startup.nsh that the UEFI Shell runs at boot.
# startup.nsh runs the tolvi command and then prints a plain verdict from its
# exit status: finished (0), nothing written and safe to power off (1), or
# failed with the power to stay on (2).
#
#   make-flash-disk.sh [options] DISK IMAGE [TOLVI ARGUMENTS...]
#
# Without TOLVI ARGUMENTS the command is "tolvi.efi IMAGE SIZE", SIZE being the
# image's size in KB rounded up (the whole-image update). Options:
#   --efi FILE     the application to store as tolvi.efi (default: tolvi.efi
#                  from the build folder, or from the installed package)
#   --shell FILE   a UEFI Shell to store as EFI\BOOT\BOOTX64.EFI, for boards
#                  without a built-in one
#   --size MB      disk size in MiB (default 64, at least 40 for FAT32)
#   --force        take an IMAGE that looks like no firmware: empty, every
#                  byte the same, or text (an error page saved as the image);
#                  the default command then gets /F, which tolvi needs too
#
# Needs mtools, dosfstools and python3.
set -euo pipefail

# Installed, this script is tolvi-flash-disk: its texts use the name it runs under.
me=$(basename "$0")
# usage [STATUS]: the help on standard output for --help, else on standard
# error with status 2.
usage() {
  local status=${1:-2}
  sed -n '/^#   make-flash-disk/,/^# Needs/p' "$0" | sed 's/^# \{0,1\}//' |
    sed "s/make-flash-disk\.sh/$me/" >&$((status == 0 ? 1 : 2))
  exit "$status"
}

# Why IMAGE is no EC firmware, or nothing: the same three tests tolvi makes
# before it touches the board (empty; one byte value throughout, all 0xFF
# would erase the EC's code; no byte outside printable ASCII and white space
# in the first 4 KB).
download_refusal() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
if not data:
    print("the file is empty")
elif data.count(data[0]) == len(data):
    print("every byte of the file is 0x%02X" % data[0])
elif all(32 <= b < 127 or b in b"\t\n\v\f\r" for b in data[:4096]):
    print("the file is text, not firmware (an error page saved under the image's name?)")
PY
}

here=$(cd "$(dirname "$0")" && pwd)
efi=""
shell_efi=""
size_mb=64
force=0
while (($#)); do
  case $1 in
    --efi) efi=${2:?--efi needs a file}; shift 2 ;;
    --shell) shell_efi=${2:?--shell needs a file}; shift 2 ;;
    --size) size_mb=${2:?--size needs a number}; shift 2 ;;
    --force) force=1; shift ;;
    -h | --help) usage 0 ;;
    --) shift; break ;;
    -*) echo "$me: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
(($# >= 2)) || usage
disk=$1
image=$2
shift 2

if [[ -z $efi ]]; then
  for candidate in "$here/../build/tolvi.efi" "$here/../share/tolvi/efi/tolvi.efi"; do
    [[ -f $candidate ]] && { efi=$candidate; break; }
  done
  [[ -n $efi ]] || { echo "$me: no tolvi.efi found; name one with --efi" >&2; exit 2; }
fi
for f in "$efi" "$image" ${shell_efi:+"$shell_efi"}; do
  [[ -f $f ]] || { echo "$me: no such file: $f" >&2; exit 2; }
done
for tool in mkfs.fat mcopy mmd python3; do
  command -v "$tool" >/dev/null || { echo "$me: missing tool: $tool" >&2; exit 2; }
done
if ((!force)); then
  why=$(download_refusal "$image")
  [[ -z $why ]] || { echo "$me: $image refused: $why; --force takes it anyway" >&2; exit 1; }
fi
[[ $size_mb =~ ^[0-9]+$ ]] && ((size_mb >= 40)) || { echo "$me: --size must be 40 or more" >&2; exit 2; }

# The shell is given 8.3-safe plain names; the image keeps its own name.
name=$(basename "$image")
if [[ ! $name =~ ^[A-Za-z0-9._-]+$ ]]; then
  echo "$me: the image name may hold only letters, digits, '.', '_' and '-': $name" >&2
  exit 2
fi
if (($# == 0)); then
  bytes=$(stat -c %s "$image")
  set -- "$name" $(((bytes + 1023) / 1024))
  # tolvi refuses such an image on the board too, unless told.
  ((force)) && [[ -n $(download_refusal "$image") ]] && set -- "$@" /F
fi
command_line="tolvi.efi $*"
if [[ $command_line == *[%\"^]* ]]; then
  echo "$me: the tolvi command may not contain %, \" or ^" >&2
  exit 2
fi

# One partition from 1 MiB to the end, as partitioning tools lay it out, so
# that firmware which ignores unpartitioned sticks still finds it.
start=2048
total=$((size_mb * 2048))
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rm -f "$disk"
python3 - "$disk" "$start" "$total" <<'PY'
import struct, sys
path, start, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
mbr = bytearray(512)
# Active, CHS fields saturated (LBA only), type 0x0C: FAT32 with LBA.
mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\xfe\xff\xff", 0x0C, b"\xfe\xff\xff",
                           start, total - start)
mbr[510:512] = b"\x55\xaa"
with open(path, "wb") as f:
    f.write(mbr)
    f.truncate(total * 512)
PY
mkfs.fat -F 32 -n TOLVI --offset "$start" -h "$start" "$disk" $(((total - start) / 2)) >/dev/null

# startup.nsh finds its own file system first: the shell maps the stick at
# any fsN, and the program reads and writes files in the current directory.
{
  printf '@echo -off\r\n'
  printf 'for %%d run (0 15)\r\n'
  printf '  if exist fs%%d:\\tolvi.efi then\r\n'
  printf '    if exist fs%%d:\\%s then\r\n' "$name"
  printf '      fs%%d:\r\n'
  printf '    endif\r\n'
  printf '  endif\r\n'
  printf 'endfor\r\n'
  printf 'cd \\\r\n'
  printf '%s\r\n' "$command_line"
  # Kept at once: every later command, the if included, sets %lasterror% anew.
  # Status 1 (EFI_ABORTED) left the flash as it was; anything else but 0 is
  # taken as status 2, the flash changed and incomplete or the EC kept.
  printf 'set -v tolvistatus %%lasterror%%\r\n'
  printf 'if %%tolvistatus%% == 0x0 then\r\n'
  printf '  echo "EC update finished: you may now restart"\r\n'
  printf 'else\r\n'
  printf '  if %%tolvistatus%% == 0x15 then\r\n'
  printf '    echo "EC update not done, nothing was written: safe to power off; check the message above"\r\n'
  printf '  else\r\n'
  printf '    echo "EC update FAILED: do not power off; run startup.nsh again"\r\n'
  printf '  endif\r\n'
  printf 'endif\r\n'
} >"$tmp/startup.nsh"

part="$disk@@$((start * 512))"
cp "$efi" "$tmp/tolvi.efi"
mcopy -i "$part" "$tmp/tolvi.efi" "$tmp/startup.nsh" ::/
mcopy -i "$part" "$image" "::/$name"
if [[ -n $shell_efi ]]; then
  mmd -i "$part" ::/EFI ::/EFI/BOOT
  mcopy -i "$part" "$shell_efi" ::/EFI/BOOT/BOOTX64.EFI
  # A shell looks for startup.nsh beside its own image first.
  mcopy -i "$part" "$tmp/startup.nsh" ::/EFI/BOOT/
fi
echo "$disk: ${size_mb} MiB, FAT32 partition holding tolvi.efi, $name, startup.nsh ($command_line)"
