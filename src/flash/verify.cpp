// Reading the flash back: comparing a programmed block with the image, and
// dumping the flash into a file.
#include "flash/flash_engine.h"

namespace {

constexpr uint16_t kDumpChunk = 0x8000;
// Six marks per 32 KB chunk.
constexpr uint16_t kDumpMarkEvery = 6553;

bool bVerifyFrom(uint32_t start, bool show_step) {
  const BlockPlan& plan = FlashState.Plan;
  vOpenReadPass(start);
  FlashState.EndCount = plan.verify_end;
  if (show_step) Print(u"  Verify...        : ");
  const uint64_t block_start = plan.count_base;
  const uint64_t mark_every = plan.verify_mark_every;
  FlashState.counterN = 0;
  for (;;) {
    if (block_start + FlashState.counterN == FlashState.EndCount) break;
    FlashState.ImageOffset = ullImageOffset(FlashState.counterN);
    const uint8_t flash_byte = ucReadSpiData();
    // Only bytes of the image are compared; an odd image's padding is not.
    if (bImageHasByte(FlashState.ImageOffset)) {
      const uint8_t image_byte = FlashState.ImageData[FlashState.ImageOffset];
      if (flash_byte != image_byte) {
        Print(u"[%x]=%x  ROM data=%x", static_cast<unsigned>(FlashState.ImageOffset),
              static_cast<unsigned>(image_byte), static_cast<unsigned>(flash_byte));
        vCloseReadPass();
        Print(u" -- Verify Fail. \n");
        return false;
      }
    }
    if (FlashState.counterN % mark_every == 0) vPrintProgressMark();
    if (++FlashState.counterN == geometry::kBlock) break;
  }
  vCloseReadPass();
  if (show_step) Print(u" -- Verify OK. \n");
  return true;
}

}  // namespace

bool bVerifyBlock(uint8_t high, uint8_t middle, uint8_t low) {
  return bVerifyFrom(uiFlashAddress(high, middle, low), true);
}

bool bVerifyPlannedRange(uint32_t start) { return bVerifyFrom(start, false); }

void vSaveFlashToFile() {
  const int32_t chunks = FlashState.FileSizeK / 32;
  // One read from address 0 serves the whole dump; it stays open while each
  // chunk goes to the file.
  vOpenReadPass(0);
  // The 16-bit chunk number is not the loop bound: a size of 2 GB or more
  // would wrap it.
  FlashState.PageIndex = 0;
  for (int32_t chunk = 0; chunk < chunks; ++chunk) {
    for (FlashState.ByteInPage = 0; FlashState.ByteInPage < kDumpChunk; ++FlashState.ByteInPage) {
      FlashState.ReadBuffer[FlashState.ByteInPage] = ucReadSpiData();
      if (FlashState.ByteInPage % kDumpMarkEvery == 0) vPrintProgressMark();
    }
    // A file that takes no more bytes ends the reading: the EC leaves flash
    // mode as soon as it can.
    if (pf::fwrite(FlashState.ReadBuffer, 1, kDumpChunk, FlashState.ImageFile) != kDumpChunk) {
      FlashState.SaveFailed = 1;
      break;
    }
    ++FlashState.PageIndex;
  }
  vCloseReadPass();
  // Success is told by the caller, once the file has been closed.
  if (FlashState.SaveFailed != 0) pf::printf("-- Save Fail!");
}
