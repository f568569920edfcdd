// /D: does the flash hold this image? Every block the update would write is
// read and compared with the image, in the update's frame, and nothing is
// erased or written. One line per block, with a map of its erase units.
#include "flash/block_compare.h"
#include "flash/block_operation.h"
#include "flash/flash_engine.h"

namespace {

// The update's frame, but only reading: a fault here never leaves the flash
// changed, and with nothing written there is nothing to restart the EC for.
constexpr FrameStyle kCompareFrame = {.keyboard_off = true,
                                      .keyboard_line_always = false,
                                      .announce_first = true,
                                      .show_steps = true,
                                      .reset_allowed = false,
                                      .writes = false};
constexpr uint32_t kMapUnitsBesideText = 16;

}  // namespace

void vCompareFlash() {
  if (!bStartBlockOperation(kCompareFrame)) return;
  bool differs = false;
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
      differs = true;
    }
    char16_t map[kMaxBlockUnits + 1];
    vFormatUnitMap(difference, map);
    // Sixty-four 1 KB units do not fit beside the text on an 80-column
    // screen: their map gets a line of its own.
    Print(difference.units > kMapUnitsBesideText ? u"\n\r           %s" : u" %s", map);
    FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1);
  }
  vEndBlockOperation(false);
  if (!differs) {
    Print(u"\n\r\n\rThe flash holds the image.\n\n");
    return;
  }
  Print(u"\n\r\n\rThe flash does not hold the image.\n\n");
  FlashState.CompareDiffers = 1;
  // A difference is an answer, not a failure: no advice follows it.
  FlashState.Work = FlashWork::kNone;
}
