#!/usr/bin/env bash
# Runs lintian on the Debian package (no error may remain), unpacks it into a
# temporary root (nothing is installed on the system), checks that it holds
# both commands, the manual pages, the documents and the UEFI applications,
# runs the packaged tolvi-sim (an update, then a dump, both compared with the
# image) and makes a stick with the packaged builder.
#
# lintian gives no error and no warning; its notes are printed for the
# record and kept: "Paramter" is the program's own spelling of two messages
# that scripts match, and the binaries are built as the project's CMake
# builds them (no bind-now or fortify flags of Debian's own builds).
#
#   check-package.sh tolvi_VERSION_ARCH.deb
set -euo pipefail

deb=$(realpath "${1:?package file}")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
root=$tmp/root

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
for f in usr/bin/tolvi usr/bin/tolvi-sim usr/bin/tolvi-flash-disk \
  usr/share/man/man1/tolvi.1.gz usr/share/man/man1/tolvi-sim.1.gz \
  usr/share/man/man1/tolvi-flash-disk.1.gz \
  usr/share/doc/tolvi/copyright usr/share/doc/tolvi/README.md.gz usr/share/doc/tolvi/changelog.gz \
  usr/share/tolvi/efi/tolvi.efi usr/share/tolvi/efi/tolvi-sim.efi; do
  [[ -s $root/$f ]] || fail "$f is not in the package"
done
dpkg-deb -f "$deb" Package Version Depends
# The manual pages must read back as pages, not as what gzip made of them.
for page in tolvi tolvi-flash-disk; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | head -n 1 | grep -q '^\.TH ' ||
    fail "$page.1.gz is no manual page"
done
"$root/usr/bin/tolvi-flash-disk" --help | grep -q '^  tolvi-flash-disk \[options\]' ||
  fail "tolvi-flash-disk --help does not name itself"

# Errors fail the check; warnings and notes are shown.
if command -v lintian >/dev/null; then
  lintian --fail-on error --display-info "$deb" >"$tmp/lintian.txt" 2>&1 || {
    cat "$tmp/lintian.txt" >&2
    fail "lintian found errors"
  }
  sed 's/^/lintian: /' "$tmp/lintian.txt"
else
  fail "lintian is not installed (tools/install-deps.sh installs it)"
fi

mkdir "$tmp/run"
cd "$tmp/run"
# 192 KB: three blocks, the last one partly filled.
head -c $((192 * 1024 - 100)) /dev/urandom >ec.bin
sim=$root/usr/bin/tolvi-sim
"$sim" -- ec.bin 192 >update.txt || fail "update: status $?"
cmp -s -n "$(stat -c %s ec.bin)" tolvi-sim-flash.bin ec.bin || fail "the flash does not hold the image"
"$sim" -- /S 192 >dump.txt || fail "dump: status $?"
# The dump is the flash's first 192 KB: the image, then erased bytes.
{ cat ec.bin; head -c 100 /dev/zero | tr '\0' '\377'; } >expected.bin
cmp -s XQRFW.bin expected.bin || fail "XQRFW.bin is not the image followed by erased bytes"

# The stick builder refuses what is no firmware, as tolvi does.
: >empty.bin
"$root/usr/bin/tolvi-flash-disk" refused.img empty.bin 2>/dev/null && fail "tolvi-flash-disk took an empty image"
[[ ! -e refused.img ]] || fail "tolvi-flash-disk wrote a disk for an empty image"

# The stick builder takes the packaged tolvi.efi by default.
"$root/usr/bin/tolvi-flash-disk" usb.img ec.bin >/dev/null || fail "tolvi-flash-disk: status $?"
mcopy -n -i usb.img@@1M ::/tolvi.efi stick.efi 2>/dev/null || fail "no tolvi.efi on the stick"
cmp -s stick.efi "$root/usr/share/tolvi/efi/tolvi.efi" || fail "the stick's tolvi.efi is not the packaged one"

if ((failures)); then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package $(basename "$deb"): files present; packaged tolvi-sim updated and dumped 192 KB; stick made"
