// Write test (/T): erases the first sector, programs one page of a fixed
// pattern at address 0 and reads the sector back.
#include "flash/flash_engine.h"
#include "flash/operation_frame.h"

namespace {
constexpr uint8_t kTestPatternByte = 0x88;
constexpr uint16_t kBytesPerMark = 16;

// A protected part, or one without the sector erase, refuses the erase and
// the page without a word: only reading back tells. The pattern's page must
// hold the pattern and the rest of the erased sector 0xFF.
bool bTestPatternReadsBack() {
  const uint32_t sector = rFlashTraits().sector_erase.size;
  vOpenReadPass(0);
  uint32_t offset = 0;
  uint8_t expected = 0;
  uint8_t read = 0;
  for (; offset < sector; ++offset) {
    expected = offset < geometry::kPage ? kTestPatternByte : 0xFF;
    read = ucReadSpiData();
    if (read != expected) break;
  }
  vCloseReadPass();
  if (offset == sector) return true;
  Print(u"[%x]=%x  ROM data=%x", static_cast<unsigned>(offset), static_cast<unsigned>(expected),
        static_cast<unsigned>(read));
  return false;
}
}  // namespace

void vWriteTestPattern() {
  vEraseSectors(0x00, 0x00, 0x00, 1);
  Print(u"  Programing...    : ");
  vSpiWriteEnable();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kPageProgram);
  vSendSpiData(0x00);
  vSendSpiData(0x00);
  vSendSpiData(0x00);
  FlashState.ByteInPage = 0;
  do {
    vSendSpiData(kTestPatternByte);
    if (FlashState.ByteInPage % kBytesPerMark == 0)
      Print(u"%c", static_cast<unsigned>(ProgressMark));
    ++FlashState.ByteInPage;
  } while (FlashState.ByteInPage < geometry::kPage);
  vWaitSpiReady();  // its 0x01 ends the page program, which starts the write
  // The read pass clears the write-enable latch first.
  if (!bTestPatternReadsBack()) {
    FlashState.TestFailed = 1;
    Print(u" -- Test Fail. \n\n");
    return;
  }
  FlashState.FlashWorkDone = 1;
  Print(u" -- Test OK. \n\n");
}

void vRunWriteTest() {
  (void)bOpenOperationFrame(kTestAndProtectFrame);
  // No identification: the erase and program take their paths for an
  // all-zero ID.
  vWriteTestPattern();
  vCloseOperationFrame();
}
