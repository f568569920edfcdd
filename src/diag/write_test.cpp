// Write test (/T): erases the first sector and programs one page of a fixed
// pattern at address 0, without reading it back.
#include "flash/geometry.h"
#include "flash/operation_frame.h"
#include "hw/spi.h"
#include "tolvi.h"

namespace {
constexpr uint8_t kTestPatternByte = 0x88;
constexpr uint16_t kBytesPerMark = 16;
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
  vSpiWriteDisable();
  Print(u" -- Test OK. \n\n");
}

void vRunWriteTest() {
  (void)bOpenOperationFrame(kOperationFrame);
  // No identification: the erase and program take their paths for an
  // all-zero ID.
  vWriteTestPattern();
  vCloseOperationFrame();
}
