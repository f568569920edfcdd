// The vendor names shown for a flash, keyed by its JEDEC manufacturer byte.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct SpiVendorRow {
  uint8_t Manufacturer;
  void (*PrintLine)();
};

constexpr size_t kSpiVendorRows = 12;
extern const SpiVendorRow SpiVendorTable[kSpiVendorRows];
