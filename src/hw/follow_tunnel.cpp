// The follow-mode tunnel: while the EC is in flash mode it relays single SPI
// bytes under sub-commands written to 0x66, and the composite status steps
// built on them.
#include "hw/follow_tunnel.h"

#include "hw/bounded_wait.h"
#include "hw/kbc_ec.h"
#include "hw/ports.h"
#include "hw/spi.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

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

uint8_t ucWaitSpiReady() {
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  hw::PollBudget budget = kFlashBusyBudget;
  uint8_t status = ucReadSpiData();
  while (status & flash_op::kStatusBusy) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash stayed busy", hw::kFlashBusy);
    status = ucReadSpiData();
  }
  vExitFollowMode();
  return status;
}

void vWaitSpiReady() { (void)ucWaitSpiReady(); }

uint8_t ucAwaitSpiStatus(uint8_t mask, uint8_t want, const char16_t* what, const char16_t* plain) {
  hw::PollBudget budget = kFlashLatchBudget;
  uint8_t status = ucReadSpiData();
  while ((status & mask) != want) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(what, plain);
    status = ucReadSpiData();
  }
  return status;
}

void vSpiWriteDisable() {
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteDisable);
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  (void)ucAwaitSpiStatus(flash_op::kStatusWriteEnableLatch, 0,
                         u"SPI flash write-enable latch never cleared",
                         u"The flash chip did not take the write disable.");
  vExitFollowMode();
}
