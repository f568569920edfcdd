// Boot-block protection (/PB): sets the block-protect bits of the flash's
// status register through the follow-mode tunnel, and reads them back.
#include "flash/flash_engine.h"
#include "flash/operation_frame.h"

namespace {
// The status write is slow on some parts; these pauses leave it time to land
// before the next byte and before the read-back.
constexpr uint64_t kStatusWriteStallUs = 500000;

uint8_t ucReadStatusOnce(uint8_t opcode) {
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  const uint8_t status = ucReadSpiData();
  vExitFollowMode();
  return status;
}

// Read once the flash is idle: a part whose status register is locked (or
// that has no such bits) ignores the write without a word, and the boot block
// stays open. The second status register went back as it was read.
bool bProtectionTook(const ProtectBytes& protect, uint8_t second_written) {
  const uint8_t wanted =
      protect.status &
      static_cast<uint8_t>(~(flash_op::kStatusWriteEnableLatch | flash_op::kStatusBusy));
  const uint8_t first = ucReadStatusOnce(flash_op::kReadStatus);
  const uint8_t missing = wanted & static_cast<uint8_t>(~first);
  if (missing != 0) {
    Print(u"\nProtect BBK Area Fail: Status Register = 0x%x, bits 0x%x did not take!\n",
          static_cast<unsigned>(first), static_cast<unsigned>(missing));
    return false;
  }
  if (!protect.second_status) return true;
  const uint8_t second = ucReadStatusOnce(flash_op::kReadStatus2);
  if (second != second_written) {
    Print(u"\nProtect BBK Area Fail: Status Register 2 = 0x%x, written 0x%x!\n",
          static_cast<unsigned>(second), static_cast<unsigned>(second_written));
    return false;
  }
  return true;
}
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
  FlashState.FlashChanged = 1;
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
  if (bProtectionTook(protect, status)) {
    FlashState.FlashWorkDone = 1;
  } else {
    FlashState.ProtectFailed = 1;
  }
}

void vRunProtection() {
  (void)bOpenOperationFrame(kTestAndProtectFrame);
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
