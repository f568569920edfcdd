// The follow-mode tunnel: while the EC is in flash mode it relays single SPI
// bytes under sub-commands written to 0x66, and the composite status steps
// built on them.
#include "hw/bounded_wait.h"
#include "hw/ports.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

// SPI opcodes used by the composite steps.
constexpr uint8_t kSpiReadStatus = 0x05;
constexpr uint8_t kSpiWriteEnable = 0x06;
constexpr uint8_t kSpiWriteDisable = 0x04;
// SST parts need EWSR (0x50) before their status register accepts a write;
// on Winbond parts 0x50 means "volatile status write enable" instead.
constexpr uint8_t kSpiEnableWriteStatus = 0x50;
constexpr uint8_t kManufacturerSst = 0xBF;

constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusWriteEnableLatch = 0x02;

// The busy poll follows erases, programs and status writes. The slowest of
// them is a 64 KB block erase, 2 s worst case in common SPI NOR datasheets;
// five times that.
constexpr hw::PollBudget kFlashBusyBudget = {10000000, 100, 0, 0};
// The write-enable latch changes as soon as 0x06/0x04 ends (the flash is idle
// by then), so a second without it means the latch is not coming.
constexpr hw::PollBudget kFlashLatchBudget = {1000000, 100, 0, 0};

// One tunnel byte: IBF clear, write, IBF clear.
void vTunnelWrite(uint8_t value) {
  hw::vWaitEcInputFree();
  IoWrite8(hw::kEcCommand, value);
  hw::vWaitEcInputFree();
}

// A sub-command and its operand: wait, write, wait, write, wait.
void vTunnelWritePair(uint8_t sub_command, uint8_t operand) {
  vTunnelWrite(sub_command);
  IoWrite8(hw::kEcCommand, operand);
  hw::vWaitEcInputFree();
}

// Opens a status-register read; every further 0x04 returns a fresh status.
void vOpenStatusRead() {
  vEnterFollowMode();
  vSendSpiCommand(kSpiReadStatus);
}

}  // namespace

void vEnterFollowMode() { vTunnelWrite(hw::kFollowBegin); }

void vSendSpiCommand(uint8_t opcode) { vTunnelWritePair(hw::kFollowCommand, opcode); }

void vSendSpiData(uint8_t data) { vTunnelWritePair(hw::kFollowData, data); }

uint8_t ucReadSpiData() {
  vTunnelWrite(hw::kFollowRead);
  hw::vWaitEcOutputFull();
  return IoRead8(hw::kEcData);
}

void vExitFollowMode() { vTunnelWrite(hw::kFollowEnd); }

void vWaitSpiReady() {
  vOpenStatusRead();
  hw::PollBudget budget = kFlashBusyBudget;
  while (ucReadSpiData() & kStatusBusy) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash stayed busy");
  }
  vExitFollowMode();
}

void vSpiWriteEnable() {
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(kSpiWriteEnable);
  if (FlashState.SPIDeviceID[0] == kManufacturerSst) {
    vEnterFollowMode();
    vSendSpiCommand(kSpiEnableWriteStatus);
  }
  vOpenStatusRead();
  hw::PollBudget budget = kFlashLatchBudget;
  while ((ucReadSpiData() & (kStatusWriteEnableLatch | kStatusBusy)) != kStatusWriteEnableLatch) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash write-enable latch never set");
  }
  vExitFollowMode();
}

void vSpiWriteDisable() {
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(kSpiWriteDisable);
  vOpenStatusRead();
  hw::PollBudget budget = kFlashLatchBudget;
  while (ucReadSpiData() & kStatusWriteEnableLatch) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash write-enable latch never cleared");
  }
  vExitFollowMode();
}
