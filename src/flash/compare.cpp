// /D: does the flash hold this image? Every block the update would write is
// read and compared with the image, in the update's frame, and nothing is
// erased or written. One line per block, with a map of its erase units.
#include "flash/block_compare.h"
#include "flash/block_operation.h"
#include "flash/flash_engine.h"

namespace {

// The update's frame, but only reading: a fault here never leaves the flash
// changed.
constexpr FrameStyle kCompareFrame = {true, false, true, true, true, false};

}  // namespace

void vCompareFlash() {
  if (!bStartBlockOperation(kCompareFrame)) return;
  uint32_t bytes = 0;
  uint32_t blocks = 0;
  while (FlashState.BlockNum < FlashState.MaxBlockNum) {
    vPlanBlock();
    if (FlashState.BlockNum != 0) FlashState.StartOffset = 0;
    BlockDifference difference;
    vReadBlockDifference(&difference, false);
    Print(u"\n\r Block %d :", static_cast<int>(FlashState.BlockNum));
    if (difference.bytes == 0) {
      Print(u" -- Same.");
    } else {
      vShowDifference(difference);
      bytes += difference.bytes;
      ++blocks;
    }
    char16_t map[kMaxBlockUnits + 1];
    vFormatUnitMap(difference, map);
    Print(u" %s", map);
    FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1);
  }
  vEndBlockOperation(false);
  if (blocks == 0) {
    Print(u"\n\r\n\rThe flash holds the image.\n\n");
    return;
  }
  Print(u"\n\r\n\rThe flash differs from the image: %d bytes in %d blocks.\n\n",
        static_cast<int>(bytes), static_cast<int>(blocks));
  FlashState.CompareDiffers = 1;
  // A difference is an answer, not a failure: no advice follows it.
  FlashState.Work = FlashWork::kNone;
}
