// Boot-block protection (/PB): sets the block-protect bits of the flash's
// status register through the follow-mode tunnel.
#include "flash/operation_frame.h"
#include "hw/bounded_wait.h"
#include "tolvi.h"

namespace {
constexpr uint8_t kSpiWriteEnable = 0x06;
constexpr uint8_t kSpiReadStatus = 0x05;
constexpr uint8_t kSpiReadStatus2 = 0x35;  // Winbond: second status register
// SST: enable-write-status-register. On Winbond parts 0x50 is the volatile
// status write enable; both accept the following 0x01 after it.
constexpr uint8_t kSpiEnableWriteStatus = 0x50;
constexpr uint8_t kSpiWriteStatus = 0x01;

constexpr uint8_t kMfrSst = 0xBF;
constexpr uint8_t kMfrWinbond = 0xEF;

constexpr uint8_t kStatusWel = 0x02;
// Winbond: SEC, TB and BP0 (bits 6, 5, 2) protect the lowest 4 KB sector,
// where the boot block lives.
constexpr uint8_t kWinbondProtect = 0x64;
// Everyone else: BP0 (bit 2); bit 1 is the read-only latch bit.
constexpr uint8_t kGenericProtect = 0x06;
// The status write is slow on some parts; these pauses leave it time to land
// before the next byte and before the read-back.
constexpr uint64_t kStatusWriteStallUs = 500000;

// The latch is set as soon as the 0x06 instruction ends and the flash was
// idle before it; a flash that still shows it clear after a second ignores
// write enable.
constexpr hw::PollBudget kLatchBudget = {1000000, 100, 0, 0};
}  // namespace

void vProtectBootBlock() {
  const uint8_t manufacturer = FlashState.SPIDeviceID[0];

  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(kSpiWriteEnable);
  vWaitSpiReady();  // its 0x01 ends the write-enable instruction

  vEnterFollowMode();
  vSendSpiCommand(kSpiReadStatus);
  uint8_t status = ucReadSpiData();
  hw::PollBudget budget = kLatchBudget;
  while ((status & kStatusWel) == 0) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash write-enable latch never set");
    status = ucReadSpiData();
  }

  if (manufacturer == kMfrWinbond) {
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(kSpiReadStatus2);
    // Written back unchanged as the second status byte.
    status = ucReadSpiData();
  }
  if (manufacturer == kMfrSst || manufacturer == kMfrWinbond) {
    vEnterFollowMode();
    vSendSpiCommand(kSpiEnableWriteStatus);
  }

  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(kSpiWriteStatus);
  if (manufacturer == kMfrWinbond) {
    vSendSpiData(kWinbondProtect);
    Stall(kStatusWriteStallUs);
    vSendSpiData(status);
    Stall(kStatusWriteStallUs);
  } else {
    vSendSpiData(kGenericProtect);
  }
  vEnterFollowMode();  // ends the status write, which starts it
  Stall(kStatusWriteStallUs);
  vSendSpiCommand(kSpiReadStatus);
  Stall(kStatusWriteStallUs);

  Print(u"\n\nProtect BBK Area Done!");
  // Read once, without waiting for the busy bit: it shows what the flash
  // holds one second after the write started.
  const uint8_t result = ucReadSpiData();
  Print(u"\nRead Status Register = 0x%x\n", static_cast<unsigned>(result));
  vWaitSpiReady();
}

void vRunProtection() {
  vOpenOperationFrame();
  Print(u"vReadSPIDeviceID start\n\n");
  vReadSPIDeviceID();
  Print(u"vReadSPIDeviceID end\n\n");
  ClearScreen();
  vShowBanner();
  vShowDeviceId();
  vShowSpiVendor();
  vProtectBootBlock();
  vCloseOperationFrame();
}
