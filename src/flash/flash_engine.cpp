// The engine's shared steps: the read pass, the image byte, the progress
// mark, and the write enable with its latch wait.
#include "flash/flash_engine.h"

#include "hw/bounded_wait.h"
#include "hw/follow_tunnel.h"

void vOpenReadPass(uint32_t address) {
  vSpiWriteDisable();
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kFastRead);
  vSendFlashAddress(address);
  vSendSpiData(0x00);  // dummy byte
}

void vCloseReadPass() { vWaitSpiReady(); }

uint8_t ucImageByte(uint64_t offset) {
  return bImageHasByte(offset) ? FlashState.ImageData[offset] : 0xFF;
}

void vPrintProgressMark() { Print(u"%c", ProgressMark); }

uint8_t ucAwaitWriteLatch() {
  return ucAwaitSpiStatus(flash_op::kStatusWriteEnableLatch, flash_op::kStatusWriteEnableLatch,
                          u"SPI flash write-enable latch never set", hw::kFlashLatch);
}

void vSpiWriteEnable() {
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteEnable);
  if (rFlashTraits().enable_write_status) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kEnableWriteStatus);
  }
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  // Busy as well as the latch: a write enable sent while the flash still
  // works is not one to start the next command on.
  (void)ucAwaitSpiStatus(flash_op::kStatusWriteEnableLatch | flash_op::kStatusBusy,
                         flash_op::kStatusWriteEnableLatch,
                         u"SPI flash write-enable latch never set", hw::kFlashLatch);
  vExitFollowMode();
}
