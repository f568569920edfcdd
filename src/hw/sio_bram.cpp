// Super-I/O chip detection through the configuration ports (0x2E/0x2F or
// 0x4E/0x4F) and the BRAM bank behind logical device 0x10.
#include "platform/platform.h"
#include "tolvi.h"

namespace {

constexpr uint8_t kSioPortLow = 0x2E;
constexpr uint8_t kSioPortHigh = 0x4E;
// Entry keys; the key for 0x4E ends in 0xAA, not 0x55.
constexpr uint8_t kKeyLow[4] = {0x87, 0x01, 0x55, 0x55};
constexpr uint8_t kKeyHigh[4] = {0x87, 0x01, 0x55, 0xAA};

constexpr uint8_t kRegConfigControl = 0x02;  // value 0x02: back to wait-for-key
constexpr uint8_t kRegLogicalDevice = 0x07;
constexpr uint8_t kRegChipIdHigh = 0x20;  // also the chip-family code
constexpr uint8_t kRegChipIdLow = 0x21;
constexpr uint8_t kRegBaseHigh = 0x60;
constexpr uint8_t kRegBaseLow = 0x61;

constexpr uint8_t kWaitForKey = 0x02;
constexpr uint8_t kBramLogicalDevice = 0x10;
constexpr uint8_t kBramVersionHigh = 0x10;
constexpr uint8_t kBramVersionLow = 0x11;

uint8_t ucReadSioRegister(uint8_t reg) {
  IoWrite8(FlashState.SioPort, reg);
  return IoRead8(FlashState.SioPort + 1);
}

void vWriteSioRegister(uint8_t reg, uint8_t value) {
  IoWrite8(FlashState.SioPort, reg);
  IoWrite8(FlashState.SioPort + 1, value);
}

// Sends the entry key at the port and tests register 0x20 against every
// family code, selecting the register afresh for each comparison.
bool bFamilyAnswersAt(uint8_t port, const uint8_t (&key)[4]) {
  FlashState.SioPort = port;
  for (uint8_t byte : key) IoWrite8(port, byte);
  for (uint8_t code : ChipFamilyCodes) {
    if (ucReadSioRegister(kRegChipIdHigh) == code) return true;
  }
  return false;
}

}  // namespace

uint16_t usDetectSioChip() {
  // Neither port is taken out of configuration mode here; the BRAM read is
  // the only place that leaves it.
  if (!bFamilyAnswersAt(kSioPortLow, kKeyLow) && !bFamilyAnswersAt(kSioPortHigh, kKeyHigh)) {
    return kNoChip;
  }
  uint8_t high = ucReadSioRegister(kRegChipIdHigh);
  uint8_t low = ucReadSioRegister(kRegChipIdLow);
  return static_cast<uint16_t>(high << 8 | low);
}

uint8_t ucReadBram(uint16_t base, uint8_t index) {
  IoWrite8(base, index);
  return IoRead8(static_cast<uint16_t>(base + 1));
}

void vReadBramVersion(uint8_t* fw_high, uint8_t* fw_low) {
  vWriteSioRegister(kRegLogicalDevice, kBramLogicalDevice);
  uint8_t base_high = ucReadSioRegister(kRegBaseHigh);
  uint8_t base_low = ucReadSioRegister(kRegBaseLow);
  uint16_t base = static_cast<uint16_t>(base_high << 8 | base_low);
  *fw_high = ucReadBram(base, kBramVersionHigh);
  *fw_low = ucReadBram(base, kBramVersionLow);
  vWriteSioRegister(kRegConfigControl, kWaitForKey);
}
