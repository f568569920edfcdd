#!/usr/bin/env bash
# Installs what is missing, builds every target (hosted, UEFI, sanitizers) and
# runs every test: unit and end-to-end tests, the QEMU/OVMF tests, a plain
# Release build without the presets and the Debian package made from it, the
# suite again under address and undefined-behaviour sanitizers, and the fuzzers
# for a bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-deps.sh

jobs=$(nproc)
cmake --preset default
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# As a packager builds it: no preset, so warnings are not errors, every
# default target (tests, benchmarks, UEFI images) at -O3.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-release -j "$jobs"
ctest --test-dir build-release --output-on-failure -j "$jobs" -LE 'uefi|fuzz|linux-guest'
(cd build-release && rm -f tolvi_*.deb && cpack -G DEB)
tools/check-package.sh build-release/tolvi_*.deb

cmake --preset asan
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE 'uefi|fuzz'
# The fuzzers run one at a time for their bounded time; -V shows each one's
# final statistics (runs done, executions per second).
ctest --test-dir build-asan --output-on-failure -L fuzz -V
