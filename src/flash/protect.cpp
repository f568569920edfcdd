// Boot-block protection (/PB): sets the status bits that protect the lowest
// sector of the flash, non-volatile, through the follow-mode tunnel, and
// reads back what they protect. A part where no known bit does that
// lastingly is refused before anything is written.
#include "flash/flash_engine.h"
#include "flash/operation_frame.h"
#include "hw/follow_tunnel.h"

namespace {
// The status write is slow on some parts; these pauses leave it time to land
// before the next byte and before the read-back.
constexpr uint64_t kStatusWriteStallUs = 500000;

// Reads once the flash is idle what the bits protect: a part whose status
// register is locked ignores the write without a word.
bool bProtectionCoversBootBlock(const StatusBits& bits, uint8_t first_read) {
  const uint8_t first = ucReadStatusRegister(flash_op::kReadStatus);
  const uint8_t second = bits.second_status ? ucReadStatusRegister(flash_op::kReadStatus2) : 0;
  ProtectedSpan span;
  (void)bDecodeProtection(bits, FlashState.FlashCapacity, first, second, &span);
  const bool covers = span.first == 0 && span.end >= geometry::kBootBlockSize;
  if (covers) Print(u"\n\nProtect BBK Area Done!");
  Print(u"\nRead Status Register = 0x%x\n", static_cast<unsigned>(first_read));
  if (covers) {
    vPrintSpan(u"Protected", span);
    Print(u"\n");
    return true;
  }
  Print(u"Protect BBK Area Fail:\nthe status bits read back (0x%x", static_cast<unsigned>(first));
  if (bits.second_status) Print(u", 0x%x", static_cast<unsigned>(second));
  if (span.first == span.end) {
    Print(u") protect nothing,\n");
  } else {
    vPrintSpan(u") protect", span);
    Print(u",\n");
  }
  Print(u"not the boot block at 0x000000-0x000FFF.\n");
  return false;
}
}  // namespace

uint8_t ucReadStatusRegister(uint8_t opcode) {
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  const uint8_t status = ucReadSpiData();
  vExitFollowMode();
  return status;
}

void vPrintSpan(const char16_t* label, const ProtectedSpan& span) {
  Print(u"%s 0x%06X-0x%06X", label, static_cast<unsigned>(span.first),
        static_cast<unsigned>(span.end - 1));
}

void vProtectBootBlock() {
  const FlashTraits& traits = rFlashTraits();
  const StatusBits& bits = traits.status_bits;
  if (traits.protect.status == 0) {
    Print(u"\n\nProtect BBK Area Refused:\n%s.\n", traits.protect.refusal);
    FlashState.ProtectFailed = 1;
    return;
  }

  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteEnable);
  vWaitSpiReady();  // its 0x01 ends the write-enable instruction

  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  (void)ucAwaitWriteLatch();
  uint8_t status2 = 0;
  if (bits.second_status) {
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kReadStatus2);
    // Goes back as read but for the complement bit, which would turn the
    // protection into one of everything but the boot block.
    status2 = ucReadSpiData() & static_cast<uint8_t>(~bits.cmp);
  }
  // The write enable alone makes the write non-volatile; 0x50 would make it
  // volatile on parts that have such bits.
  if (traits.enable_write_status) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kEnableWriteStatus);
  }

  vWaitSpiReady();
  FlashState.StatusChanged = 1;
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteStatus);
  vSendSpiData(traits.protect.status);
  if (bits.second_status) {
    Stall(kStatusWriteStallUs);
    vSendSpiData(status2);
    Stall(kStatusWriteStallUs);
  }
  vEnterFollowMode();  // ends the status write, which starts it
  Stall(kStatusWriteStallUs);
  vSendSpiCommand(flash_op::kReadStatus);
  Stall(kStatusWriteStallUs);
  // Read once, without waiting for the busy bit: it shows what the flash
  // holds one second after the write started.
  const uint8_t first_read = ucReadSpiData();
  vWaitSpiReady();
  if (bProtectionCoversBootBlock(bits, first_read)) {
    // Done as asked: a failure from here on is one of handing back.
    FlashState.FlashChanged = 1;
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
