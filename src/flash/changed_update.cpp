// /U: the update, but each block is read first and only the erase units that
// differ from the image are erased, programmed and verified. An unchanged
// image costs one read of the flash, and an unchanged boot block is never
// erased. The pre-read stands in for the erase check: programming only clears
// bits, so a unit left partly unerased fails its verify and is done again.
#include "flash/backup.h"
#include "flash/block_compare.h"
#include "flash/block_operation.h"
#include "flash/flash_engine.h"
#include "hw/ports.h"

namespace {

// The plan of units [first, last) of the block: the program and verify
// ranges cut to them, the image bytes that belong there.
BlockPlan RunPlan(const BlockPlan& block, const BlockDifference& difference, uint32_t first,
                  uint32_t last) {
  BlockPlan run = block;
  const uint32_t from = first * difference.unit;
  uint32_t to = last * difference.unit;
  if (to > difference.extent) to = difference.extent;
  run.flash_start = block.flash_start + from;
  run.image_base = block.image_base + from;
  run.count_base = 0;
  run.program_end = to - from;
  run.verify_end = to - from;
  return run;
}

// Calls `step` with the plan of each run of adjacent differing units; stops
// at the first run it fails.
template <typename Step>
bool bForEachRun(const BlockPlan& block, const BlockDifference& difference, Step step) {
  for (uint32_t first = 0; first < difference.units; ++first) {
    if (!bUnitDiffers(difference, first)) continue;
    uint32_t last = first + 1;
    while (last < difference.units && bUnitDiffers(difference, last)) ++last;
    FlashState.Plan = RunPlan(block, difference, first, last);
    if (!step(FlashState.Plan.flash_start)) return false;
    first = last;
  }
  return true;
}

bool bUpdateChangedUnits() {
  // The first line after the cursor is placed at column 1, like the
  // update's first step; the lines below it start at column 0.
  Print(u" Compare...       : ");
  BlockDifference difference;
  vReadBlockDifference(&difference, true);
  uint32_t written = 0;
  for (uint32_t unit = 0; unit < difference.units; ++unit) {
    if (!bUnitDiffers(difference, unit)) continue;
    const uint32_t end = (unit + 1) * difference.unit;
    written += (end < difference.extent ? end : difference.extent) - unit * difference.unit;
  }
  FlashState.BlockBytesWritten = written;
  FlashState.BlockUnitsUnchanged =
      difference.units - static_cast<uint32_t>(__builtin_popcountll(difference.differing));
  if (difference.bytes == 0) {
    Print(u" -- Unchanged.");
    Print(u"\n\n");
    return true;
  }
  vShowDifference(difference);
  Print(u"\n\n");

  vClearSpiStatus();
  if (FlashState.BlockRefused != 0) return false;
  const BlockPlan block = FlashState.Plan;
  Print(u"  Eraseing...      : ");
  for (uint32_t unit = 0; unit < difference.units; ++unit) {
    if (!bUnitDiffers(difference, unit)) continue;
    vEraseAt(block.erase_opcode, block.flash_start + unit * difference.unit);
    vPrintProgressMark();
  }
  Print(u" -- Erase OK. \n\n");

  // Each run is programmed as a whole range of its own.
  const uint64_t programmed_before = FlashState.ProgrammedCount;
  Print(u"  Programing...    : ");
  (void)bForEachRun(block, difference, [](uint32_t start) {
    FlashState.ProgrammedCount = 0;
    vProgramPlannedRange(start);
    return true;
  });
  Print(u" -- Programing OK. \n\n");
  FlashState.ProgrammedCount = programmed_before;

  Print(u"  Verify...        : ");
  const bool passed = bForEachRun(block, difference, &bVerifyPlannedRange);
  // The failure advice names the block, not the run.
  FlashState.Plan = block;
  if (passed) Print(u" -- Verify OK. \n");
  return passed;
}

}  // namespace

void vUpdateChangedFlash() {
  if (!bStartBlockOperation(kUpdateFrame)) return;
  // With a backup, its read is this update's pre-read of every block.
  if (!bSaveBackup()) {
    vFailUpdate();
    vCloseOperationFrame();
    return;
  }
  // Each block clears the status register only where it has units to write.
  vWriteBlocks(&bUpdateChangedUnits, nullptr);
  // Nothing written: nothing wrapped, and no new firmware to restart the EC
  // into.
  if (FlashState.FlashChanged == 0) FlashState.EcLeaveCommand = hw::kEcLeaveNoReset;
  vEndBlockOperation(FlashState.FlashChanged != 0);
  vShowUpdateSummary();
}
