// Erasing a block or a run of sectors, and checking that a range reads erased.
#include "flash/flash_engine.h"

namespace {

void vEraseAt(uint8_t opcode, uint32_t address) {
  vSpiWriteEnable();
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  vSendFlashAddress(address);
  vExitFollowMode();
  vWaitSpiReady();
}

// ST parts get their 64 KB block erase in place of the 4 KB sector erase.
uint8_t ucSectorEraseOpcode() {
  return FlashState.SPIDeviceID[0] == vendor::kSt ? flash_op::kBlockErase64K
                                                  : flash_op::kSectorErase4K;
}

}  // namespace

void vEraseBlock(uint8_t high, uint8_t middle, uint8_t low) {
  const uint32_t start = uiFlashAddress(high, middle, low);
  Print(u" Eraseing...      : ");
  // In main-area mode the image sits 0x1000 into the flash, one 4 KB sector
  // further than its size says.
  if (FlashState.MainMode != 0 && FlashState.ImageSize > 0x10000) {
    FlashState.EraseEnd = FlashState.PageCount + 4;
  } else {
    FlashState.EraseEnd = FlashState.PageCount;
  }
  const uint64_t block_kb = static_cast<uint64_t>(FlashState.BlockNum) * 64;
  if (FlashState.SPIDeviceID[0] == vendor::kMaker) {
    for (uint32_t i = 0; i < 64; ++i) {
      if (block_kb + i == FlashState.EraseEnd) break;
      vEraseAt(flash_op::kSectorErase1K, start + i * 0x400);
      if (i % 4 == 0) vPrintProgressMark();
    }
  } else {
    // The bound moves in 4 KB steps and is tested for equality only, so a
    // size that is not a multiple of 4 KB erases the whole block.
    const uint8_t opcode = ucSectorEraseOpcode();
    for (uint32_t i = 0; i < 16; ++i) {
      if (block_kb + static_cast<uint64_t>(i) * 4 == FlashState.EraseEnd) break;
      vEraseAt(opcode, start + i * 0x1000);
      vPrintProgressMark();
    }
  }
  Print(u" -- Erase OK. \n\n");
}

void vEraseSectors(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  const uint32_t start = uiFlashAddress(high, middle, low);
  const uint8_t opcode = ucSectorEraseOpcode();
  Print(u"  Eraseing...      : ");
  for (uint32_t i = 0; i < count; ++i) {
    vEraseAt(opcode, start + i * 0x1000);
    if (FlashState.BbkMode == 1 || FlashState.TestMode == 1) {
      // A single sector would otherwise show a single mark; pace sixteen.
      for (int mark = 0; mark < 16; ++mark) {
        vPrintProgressMark();
        Stall(50);
      }
    } else {
      vPrintProgressMark();
    }
  }
  Print(u" -- Erase OK. \n\n");
}

bool bCheckErased(uint32_t address, uint64_t end_count, uint64_t mark_every) {
  vOpenReadPass(address);
  FlashState.EndCount = end_count;
  Print(u"  Erase Verify...  : ");
  const uint64_t block_start = static_cast<uint64_t>(FlashState.BlockNum) * 0x10000;
  bool passed = true;
  FlashState.counterN = 0;
  for (;;) {
    if (block_start + FlashState.counterN == FlashState.EndCount) break;
    if (ucReadSpiData() != 0xFF) {
      passed = false;
      break;
    }
    if (FlashState.counterN % mark_every == 0) vPrintProgressMark();
    if (++FlashState.counterN == 0x10000) break;
  }
  vCloseReadPass();
  if (passed) {
    Print(u" -- Verify OK. \n\n");
  } else {
    Print(u" -- Verify Fail. counterN=%x\n", static_cast<unsigned>(FlashState.counterN));
  }
  return passed;
}

bool bEraseVerify(uint8_t high, uint8_t middle, uint8_t low) {
  return bCheckErased(uiFlashAddress(high, middle, low), ullAreaEndCount(),
                      FlashState.BbkMode == 1 ? 0x100 : 0x1000);
}
