// The block-by-block update: keyboard off, EC into flash mode, identify the
// flash, then erase, check, program and verify every 64 KB block.
#include "flash/flash_engine.h"
#include "hw/bounded_wait.h"
#include "hw/ports.h"

namespace {

// A second for the write-enable latch to show (ucAwaitWriteLatch).
constexpr hw::PollBudget kLatchBudget = {1000000, 100, 0, 0};

// The boot block is one 4 KB sector; the main and backup code areas are the
// 60 KB after it in their 64 KB blocks.
constexpr uint8_t kBbkSectors = 1;
constexpr uint8_t kBbkPages = 16;
constexpr uint8_t kAreaSectors = 15;
constexpr uint8_t kAreaPages = 240;
constexpr uint32_t kMainAreaOffset = 0x1000;
constexpr uint32_t kBackupAreaOffset = 0x11000;

void vLeaveFlashMode() { vLeaveEcFlashMode(FlashState.NoReset == 0); }

// A block that failed a check ends the update: out of flash mode at once,
// and the run ends with status 1.
bool bFailBlock() {
  vLeaveFlashMode();
  FlashState.UpdateFailed = 1;
  return false;
}

bool bHalfBlockChip() {
  return FlashState.ChipId == HalfBlockModels[0] || FlashState.ChipId == HalfBlockModels[1];
}

bool bAaiChip() {
  return FlashState.SPIDeviceID[0] == vendor::kSst || FlashState.SPIDeviceID[0] == vendor::kMaker;
}

bool bMxicSmallPage() {
  return FlashState.SPIDeviceID[0] == vendor::kMxic &&
         FlashState.SPIDeviceID[2] == vendor::kMxicSmallPageDevice;
}

// SST parts and the maker's own flash program by auto address increment;
// false for every other part.
bool bProgramByAutoIncrement(uint8_t high, uint8_t middle, uint8_t low) {
  if (!bAaiChip()) return false;
  if (FlashState.AaiByteMode == 1) {
    vProgramAaiByte(high, middle, low);
  } else {
    vProgramAaiWord(high, middle, low);
  }
  return true;
}

void vProgramArea(uint8_t high, uint8_t middle, uint8_t low, uint8_t page_count) {
  if (bProgramByAutoIncrement(high, middle, low)) return;
  if (bMxicSmallPage()) {
    vProgramChunksCounted(high, middle, low, page_count);
  } else {
    vProgramPagesCounted(high, middle, low, page_count);
  }
}

void vProgramWholeBlock(uint8_t high, uint8_t middle, uint8_t low) {
  if (bProgramByAutoIncrement(high, middle, low)) return;
  if (bMxicSmallPage()) {
    vProgramChunks(high, middle, low);
  } else {
    vProgramPages(high, middle, low);
  }
}

bool bUpdateAreaAt(uint32_t address, uint8_t erase_count, uint8_t page_count) {
  return bUpdateArea(static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                     static_cast<uint8_t>(address), erase_count, page_count);
}

}  // namespace

uint8_t ucAwaitWriteLatch() {
  hw::PollBudget budget = kLatchBudget;
  uint8_t status = ucReadSpiData();
  while ((status & kStatusWriteEnableLatch) == 0) {
    if (!hw::bPollAgain(&budget)) hw::vGiveUpWait(u"SPI flash write-enable latch never set");
    status = ucReadSpiData();
  }
  return status;
}

void vClearSpiStatus() {
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteEnable);
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  (void)ucAwaitWriteLatch();
  if (FlashState.SPIDeviceID[0] == vendor::kSst) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kEnableWriteStatus);
  }
  // All block-protect bits cleared; the write starts when the ready poll's
  // 0x01 ends this instruction.
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteStatus);
  vSendSpiData(0x00);
  vWaitSpiReady();
}

bool bUpdateArea(uint8_t high, uint8_t middle, uint8_t low, uint8_t erase_count,
                 uint8_t page_count) {
  Print(u" Base Offset : 0x%02x%02x%02x\n\r", static_cast<unsigned>(high),
        static_cast<unsigned>(middle), static_cast<unsigned>(low));
  vEraseSectors(high, middle, low, erase_count);
  if (!bEraseVerify(high, middle, low)) return bFailBlock();
  vProgramArea(high, middle, low, page_count);
  if (!bVerifyBlock(high, middle, low)) return bFailBlock();
  return true;
}

bool bUpdateWholeBlock(uint8_t high, uint8_t middle, uint8_t low) {
  vEraseBlock(high, middle, low);
  const uint64_t size = static_cast<uint64_t>(FlashState.ImageSize);
  // From block 1 on, main-area mode runs 0x1000 behind the flash.
  const uint64_t end_count =
      FlashState.MainMode != 0 && FlashState.ImageSize > 0x10000 ? size + 0x1000 : size;
  if (!bCheckErased(uiFlashAddress(high, middle, low), end_count, 0x1000)) return bFailBlock();
  vProgramWholeBlock(high, middle, low);
  if (!bVerifyBlock(high, middle, low)) return bFailBlock();
  return true;
}

void vUpdateFlash() {
  if (FlashState.SkipKbc == 0) {
    Print(u"Send KB Cmd 0xAD \n\n");
    vSendKbcCommand(hw::kKbcDisableKeyboard);
  }
  Print(u"Send EC Cmd 0xDC \n\n");
  if (FlashState.ChipId == ModeSelectModel) {
    vSendEcCommand(FlashState.AltEnterMode == 1 ? hw::kEcPreEnterAlt : hw::kEcPreEnter);
  }
  vSendEcCommand(hw::kEcEnterFlashMode);
  Print(u"Read EC Data \n\n");
  if (ucReadEcData() == EcAck) {
    Print(u"EC ACK OK. \n\n");
  } else {
    Print(u"EC ACK Fail. \n\n");
  }
  Print(u"vReadSPIDeviceID start\n\n");
  vReadSPIDeviceID();
  Print(u"vReadSPIDeviceID end\n\n");
  Print(u"\nBlockNum=%x,MaxBlockNum=%x", static_cast<unsigned>(FlashState.BlockNum),
        static_cast<unsigned>(FlashState.MaxBlockNum));
  // These two chips take a 256 KB image as two blocks of 64 KB.
  if (FlashState.PageCount == 256 && bHalfBlockChip()) {
    FlashState.ImageSize >>= 1;
    FlashState.MaxBlockNum >>= 1;
  }
  bool failed = false;
  while (FlashState.BlockNum < FlashState.MaxBlockNum) {
    uint32_t block_start;
    if (FlashState.BlockNum == 0) {
      // The offset counts in whole 256-byte pages.
      block_start = static_cast<uint32_t>(FlashState.StartOffset) & 0xFFFF00;
    } else {
      block_start = static_cast<uint32_t>(FlashState.BlockNum) << 16;
      FlashState.StartOffset = 0;
    }
    FlashState.BlockBase = FlashState.BlockNum;
    // The first of the two half-block chips keeps its code in the upper half
    // of a 256 KB image.
    if (FlashState.ChipId == HalfBlockModels[0] && FlashState.PageCount == 256) {
      FlashState.BlockBase = static_cast<uint8_t>(FlashState.BlockBase + 2);
    }

    ClearScreen();
    vShowBanner();
    vShowDeviceId();
    vShowSpiVendor();
    SetCursorPosition(1, 5);
    Print(u" Block Number     : %d \n\n", static_cast<int>(FlashState.BlockNum));
    SetCursorPosition(1, 10);

    vClearSpiStatus();
    bool passed;
    if (FlashState.BbkMode == 1 && FlashState.BlockNum == 0) {
      passed = bUpdateAreaAt(block_start, kBbkSectors, kBbkPages);
    } else if (FlashState.MainMode == 1 && FlashState.BlockNum == 0) {
      passed = bUpdateAreaAt(block_start + kMainAreaOffset, kAreaSectors, kAreaPages);
    } else if (FlashState.BackupMode == 1) {
      passed = bUpdateAreaAt(block_start + kBackupAreaOffset, kAreaSectors, kAreaPages);
    } else {
      passed = bUpdateWholeBlock(static_cast<uint8_t>(block_start >> 16),
                                 static_cast<uint8_t>(block_start >> 8),
                                 static_cast<uint8_t>(block_start));
    }
    FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1);
    if (!passed) {
      // The failing block has left flash mode already.
      failed = true;
      break;
    }
  }
  if (!failed) vLeaveFlashMode();
  // Also after a failed block: a failed flash must not leave the keyboard
  // dead.
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcEnableKeyboard);
}
