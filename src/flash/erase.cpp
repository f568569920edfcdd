// Erasing a block or a run of sectors, and checking that a range reads erased.
#include "flash/flash_engine.h"

void vEraseAt(uint8_t opcode, uint32_t address) {
  vSpiWriteEnable();
  FlashState.FlashChanged = 1;
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  vSendFlashAddress(address);
  vExitFollowMode();
  vWaitSpiReady();
}

namespace {

// Reads the flash from `address` and checks that it reads erased until the
// position counted from block 0 reaches `end_count` or a block is read, with
// a mark every `mark_every` bytes. Prints the check's line and, on a failure,
// the failing counterN.
bool bCheckErased(uint32_t address, uint64_t end_count, uint64_t mark_every) {
  vOpenReadPass(address);
  FlashState.EndCount = end_count;
  Print(u"  Erase Verify...  : ");
  const uint64_t block_start = FlashState.Plan.count_base;
  bool passed = true;
  FlashState.counterN = 0;
  for (;;) {
    if (block_start + FlashState.counterN == FlashState.EndCount) break;
    if (ucReadSpiData() != 0xFF) {
      passed = false;
      break;
    }
    if (FlashState.counterN % mark_every == 0) vPrintProgressMark();
    if (++FlashState.counterN == geometry::kBlock) break;
  }
  vCloseReadPass();
  if (passed) {
    Print(u" -- Verify OK. \n\n");
  } else {
    Print(u" -- Verify Fail. counterN=%x\n", static_cast<unsigned>(FlashState.counterN));
  }
  return passed;
}

}  // namespace

void vEraseBlock(uint8_t high, uint8_t middle, uint8_t low) {
  const uint32_t start = uiFlashAddress(high, middle, low);
  const BlockPlan& plan = FlashState.Plan;
  Print(u" Eraseing...      : ");
  for (uint32_t i = 0; i < plan.erase_count; ++i) {
    const uint32_t distance = i * plan.erase_step;
    vEraseAt(plan.erase_opcode, start + distance);
    // One mark per 4 KB, whatever the step.
    if (distance % geometry::kSector4K == 0) vPrintProgressMark();
  }
  Print(u" -- Erase OK. \n\n");
}

void vEraseSectors(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  const uint32_t start = uiFlashAddress(high, middle, low);
  const EraseStep& erase = rFlashTraits().sector_erase;
  Print(u"  Eraseing...      : ");
  for (uint32_t i = 0; i < count; ++i) {
    vEraseAt(erase.opcode, start + i * erase.step);
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

bool bEraseVerify(uint8_t high, uint8_t middle, uint8_t low) {
  return bCheckErased(uiFlashAddress(high, middle, low), FlashState.Plan.erase_check_end,
                      FlashState.Plan.erase_check_mark_every);
}
