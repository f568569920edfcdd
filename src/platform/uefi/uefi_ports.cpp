// Real port I/O and the firmware's calibrated delay. Only tolvi.efi links
// this file; the board-model image takes both from the simulated bus.
#include "platform/platform.h"
#include "platform/uefi/uefi_provider.h"

uint8_t IoRead8(uint16_t port) {
  uint8_t value;
  __asm__ volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

void IoWrite8(uint16_t port, uint8_t value) {
  __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

// There is no driver to ask under the UEFI Shell: the program takes
// 0x60/0x64 as the firmware leaves them, and its 0xAD stops the keys the
// firmware's own keyboard driver would read there.
void ClaimKeyboardController() {}

void Stall(uint64_t microseconds) { uefi::g_boot->stall(microseconds); }

namespace {

uint64_t ReadTimeStampCounter() {
  uint32_t low;
  uint32_t high;
  __asm__ volatile("rdtsc" : "=a"(low), "=d"(high));
  return (static_cast<uint64_t>(high) << 32) | low;
}

uint64_t g_tsc_start = 0;
uint64_t g_tsc_per_us = 0;

}  // namespace

// The firmware's own clock (GetTime) often ticks once a second, so the
// time-stamp counter, constant-rate on current x86 parts, is measured against
// Stall. Stall waits at least its time, so any error makes the wait limits
// longer, never shorter (the count is rounded up for the same reason). An
// interruption inside a calibration stall (an SMI on a board, the host's
// scheduler under emulation) lengthens that measurement by its whole length:
// under emulation on a busy host, a single 1 ms measurement once made a 2 s
// limit last 10 s. So the shortest of several counts.
uint64_t MonotonicMicroseconds() {
  if (g_tsc_per_us == 0) {
    constexpr int kCalibrationRounds = 8;
    constexpr uint64_t kCalibrationUs = 500;
    uint64_t fewest = UINT64_MAX;
    g_tsc_start = ReadTimeStampCounter();
    for (int round = 0; round < kCalibrationRounds; ++round) {
      const uint64_t before = ReadTimeStampCounter();
      uefi::g_boot->stall(kCalibrationUs);
      const uint64_t ticks = ReadTimeStampCounter() - before;
      if (ticks < fewest) fewest = ticks;
    }
    g_tsc_per_us = fewest >= kCalibrationUs ? (fewest + kCalibrationUs - 1) / kCalibrationUs : 1;
  }
  return (ReadTimeStampCounter() - g_tsc_start) / g_tsc_per_us;
}
