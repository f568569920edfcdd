// Boot-block protection (/PB): sets the block-protect bits of the flash's
// status register through the follow-mode tunnel.
#include "flash/flash_engine.h"
#include "flash/operation_frame.h"

namespace {
// The status write is slow on some parts; these pauses leave it time to land
// before the next byte and before the read-back.
constexpr uint64_t kStatusWriteStallUs = 500000;
}  // namespace

void vProtectBootBlock() {
  const ProtectBytes& protect = rFlashTraits().protect;

  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteEnable);
  vWaitSpiReady();  // its 0x01 ends the write-enable instruction

  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  uint8_t status = ucAwaitWriteLatch();

  if (protect.second_status) {
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kReadStatus2);
    // Written back unchanged as the second status byte.
    status = ucReadSpiData();
  }
  if (protect.enable_write_status) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kEnableWriteStatus);
  }

  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteStatus);
  vSendSpiData(protect.status);
  if (protect.second_status) {
    Stall(kStatusWriteStallUs);
    vSendSpiData(status);
    Stall(kStatusWriteStallUs);
  }
  vEnterFollowMode();  // ends the status write, which starts it
  Stall(kStatusWriteStallUs);
  vSendSpiCommand(flash_op::kReadStatus);
  Stall(kStatusWriteStallUs);

  Print(u"\n\nProtect BBK Area Done!");
  // Read once, without waiting for the busy bit: it shows what the flash
  // holds one second after the write started.
  const uint8_t result = ucReadSpiData();
  Print(u"\nRead Status Register = 0x%x\n", static_cast<unsigned>(result));
  vWaitSpiReady();
}

void vRunProtection() {
  (void)bOpenOperationFrame(kOperationFrame);
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
