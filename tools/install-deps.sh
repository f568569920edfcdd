#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang lld llvm
  libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  ovmf qemu-system-x86 mtools dosfstools python3 python3-pyte dpkg-dev
  busybox-static cpio lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Linux guest test boots a stock cloud kernel under QEMU. The kernel
# package is only unpacked into a cache, never installed: the host's own boot
# stays untouched.
guest_dir=${TOLVI_GUEST_CACHE:-${XDG_CACHE_HOME:-${HOME:-~}/.cache}/tolvi/linux-guest}
if [[ ! -s $guest_dir/vmlinuz ]]; then
  # The meta package only depends on the versioned one, which holds the kernel.
  kernel_package() {
    apt-cache depends linux-image-cloud-amd64 2>/dev/null |
      awk '/Depends: linux-image-/ {print $2; exit}' || true
  }
  work=$(mktemp -d)
  fetch_kernel() {
    [[ -n $kernel_pkg ]] &&
      (cd "$work" && apt-get download -qq "$kernel_pkg" && dpkg-deb -x ./*.deb unpacked)
  }
  kernel_pkg=$(kernel_package)
  # No package lists yet, or lists naming a kernel the archive has replaced.
  if ! fetch_kernel; then
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    kernel_pkg=$(kernel_package)
    fetch_kernel
  fi
  echo "unpacked $kernel_pkg for the Linux guest test into $guest_dir"
  mkdir -p "$guest_dir"
  cp "$(ls "$work"/unpacked/boot/vmlinuz-* | head -n 1)" "$guest_dir/vmlinuz"
  rm -rf "$work"
fi
