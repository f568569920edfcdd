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

void Stall(uint64_t microseconds) { uefi::g_boot->stall(microseconds); }
