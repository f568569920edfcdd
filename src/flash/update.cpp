// The block-by-block update: keyboard off, EC into flash mode, identify the
// flash, then erase, check, program and verify every 64 KB block as its plan
// says. Also the steps the compare and the changed-units update share with it.
#include "flash/backup.h"
#include "flash/block_operation.h"
#include "flash/flash_engine.h"
#include "flash/image_rules.h"
#include "flash/operation_frame.h"
#include "hw/follow_tunnel.h"

namespace {

// A block that fails a check is done again whole this many times before the
// update gives up: a bit that did not take or a byte left unerased once is
// common on worn parts and says nothing about the next attempt.
constexpr unsigned kBlockAttempts = 3;

// The chip's method; the area paths write at most `pages` pages (0: the
// whole-block path).
void vProgramBlock(uint8_t high, uint8_t middle, uint8_t low, uint8_t pages) {
  const bool counted = pages != 0;
  switch (rFlashTraits().program) {
    case ProgramKind::kAaiByte:
      return vProgramAaiByte(high, middle, low);
    case ProgramKind::kAaiWord:
      return vProgramAaiWord(high, middle, low);
    case ProgramKind::kChunks32:
      return counted ? vProgramChunksCounted(high, middle, low, pages)
                     : vProgramChunks(high, middle, low);
    case ProgramKind::kPages:
    case ProgramKind::kPagesOrBytes:
      return counted ? vProgramPagesCounted(high, middle, low, pages)
                     : vProgramPages(high, middle, low);
  }
}

bool bUpdatePlannedBlock() {
  const BlockPlan& plan = FlashState.Plan;
  FlashState.BlockBytesWritten = uiPlanExtent(plan);
  const uint32_t start = plan.flash_start;
  const uint8_t high = static_cast<uint8_t>(start >> 16);
  const uint8_t middle = static_cast<uint8_t>(start >> 8);
  const uint8_t low = static_cast<uint8_t>(start);
  if (plan.path == BlockPath::kWhole) return bUpdateWholeBlock(high, middle, low);
  return bUpdateArea(high, middle, low, static_cast<uint8_t>(plan.erase_count),
                     static_cast<uint8_t>(plan.program_pages));
}

// A part whose ID tells no size answers past its end from address 0 again,
// and the next erase would wipe block 0. Sizes are powers of two, so the
// wrap first shows at a block whose start is one: there, what block 0 wrote
// and verified reads back at that size past block 0's start. The probe reads
// one page; block 0 of one repeated byte proves nothing and is not taken.
constexpr uint32_t kWrapProbeBytes = geometry::kPage;

bool bBlockStartWraps(const BlockPlan& first) {
  const uint32_t block = FlashState.BlockNum;
  if (FlashState.FlashCapacity != 0 || block == 0 || (block & (block - 1)) != 0) return false;
  const uint32_t size = block << geometry::kBlockShift;
  uint32_t probe = uiPlanExtent(first);
  if (probe > kWrapProbeBytes) probe = kWrapProbeBytes;
  if (!bImageHasByte(ullImageOffsetIn(first, probe - 1))) return false;
  const uint8_t first_byte = ucImageByte(ullImageOffsetIn(first, 0));
  bool repeated = true;
  bool same = true;
  vOpenReadPass(first.flash_start + size);
  for (uint32_t d = 0; d < probe; ++d) {
    const uint8_t image_byte = ucImageByte(ullImageOffsetIn(first, d));
    if (image_byte != first_byte) repeated = false;
    if (ucReadSpiData() != image_byte) same = false;
  }
  vCloseReadPass();
  if (!same || repeated) return false;
  FlashState.WrapCapacity = size;
  Print(u" The flash chip ends at %dK: address 0x%06x reads as 0x%06x. \n\r",
        static_cast<int>(size / 1024), static_cast<unsigned>(first.flash_start + size),
        static_cast<unsigned>(first.flash_start));
  return true;
}

}  // namespace

void vFailUpdate() {
  vLeaveFrameFlashMode();
  FlashState.UpdateFailed = 1;
}

void vShowBlockScreen() {
  ClearScreen();
  vShowBanner();
  vShowDeviceId();
  vShowSpiVendor();
  SetCursorPosition(1, 5);
  Print(u" Block Number     : %d of %d \n\n", static_cast<int>(FlashState.BlockNum),
        static_cast<int>(FlashState.MaxBlockNum));
}

bool bRunBlockWithRetries(bool (*attempt)()) {
  // The programming methods count bytes from the start of the run.
  const uint64_t programmed_before = FlashState.ProgrammedCount;
  for (unsigned n = 1;; ++n) {
    // A block the status clear left protected is not erased, and trying
    // again would find the same bits.
    if (FlashState.BlockRefused != 0) break;
    if (n > 1) {
      vShowBlockScreen();
      Print(u" Block %d failed its check: retry, attempt %d of %d \n\n",
            static_cast<int>(FlashState.BlockNum), static_cast<int>(n),
            static_cast<int>(kBlockAttempts));
      FlashState.ProgrammedCount = programmed_before;
    }
    SetCursorPosition(1, 10);
    if (attempt()) return true;
    if (n == kBlockAttempts) break;
  }
  vFailUpdate();
  return false;
}

bool bStartBlockOperation(const FrameStyle& style) {
  FlashState.UpdateStartMicroseconds = MonotonicMicroseconds();
  (void)bOpenOperationFrame(style);
  Print(u"vReadSPIDeviceID start\n\n");
  vReadSPIDeviceID();
  Print(u"vReadSPIDeviceID end\n\n");
  Print(u"\nBlockNum=%x,MaxBlockNum=%x", static_cast<unsigned>(FlashState.BlockNum),
        static_cast<unsigned>(FlashState.MaxBlockNum));
  // These two chips take a 256 KB image as two blocks of 64 KB.
  if (bHalfBlockImage()) {
    FlashState.ImageSize >>= 1;
    FlashState.MaxBlockNum >>= 1;
  }
  if (bRefuseChipGeometry()) {
    vFailUpdate();
    vCloseOperationFrame();
    return false;
  }
  return true;
}

void vEndBlockOperation(bool check_wrap) {
  if (check_wrap && FlashState.UpdateFailed == 0 && FlashState.FlashCapacity == 0 &&
      FlashState.MaxBlockNum > 1) {
    FlashState.BlockNum = 0;
    vPlanBlock();
    const BlockPlan& plan = FlashState.Plan;
    if (!bVerifyBlock(static_cast<uint8_t>(plan.flash_start >> 16),
                      static_cast<uint8_t>(plan.flash_start >> 8),
                      static_cast<uint8_t>(plan.flash_start))) {
      vFailUpdate();
    }
  }
  if (FlashState.UpdateFailed == 0 && FlashState.BlocksVerified == FlashState.MaxBlockNum)
    FlashState.FlashWorkDone = 1;
  vCloseOperationFrame();
}

namespace {

// Bytes the current block's erase commands clear, whole erase units.
ProtectedSpan EraseSpanOfPlan() {
  const BlockPlan& plan = FlashState.Plan;
  if (plan.erase_count == 0 || plan.erase_size == 0) return {0, 0};
  const uint32_t unit_mask = ~(plan.erase_size - 1);
  const uint32_t first = plan.flash_start & unit_mask;
  const uint32_t last = (plan.flash_start + (plan.erase_count - 1) * plan.erase_step) & unit_mask;
  return {first, last + plan.erase_size};
}

bool bSameSpan(const ProtectedSpan& a, const ProtectedSpan& b) {
  return a.first == b.first && a.end == b.end;
}

// Names the bits the clear left and what they protect.
void vRefuseProtectedBlock(const StatusBits& bits, bool decoded, const ProtectedSpan& left,
                           uint8_t status1, uint8_t status2) {
  Print(u"\n\r Block %d not erased: the status clear left it write-protected.\n\r",
        static_cast<int>(FlashState.BlockNum));
  Print(u" Status register bits 0x%02x",
        static_cast<unsigned>(status1 & (bits.bp | bits.tb | bits.sec)));
  if ((status2 & bits.cmp) != 0)
    Print(u" and status register 2 bits 0x%02x", static_cast<unsigned>(status2 & bits.cmp));
  if (decoded) {
    vPrintSpan(u"\n\r protect", left);
  } else {
    Print(u" are set;\n\r their range is not known, so the whole flash counts");
  }
  const bool locked = (status1 & bits.lock) != 0 || (status2 & bits.lock2) != 0;
  Print(locked ? u";\n\r the WP# pin or a lock bit holds them.\n\r" : u".\n\r");
}

}  // namespace

void vClearSpiStatus() {
  const FlashTraits& traits = rFlashTraits();
  const StatusBits& bits = traits.status_bits;
  vWaitSpiReady();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteEnable);
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadStatus);
  const uint8_t before1 = ucAwaitWriteLatch();
  uint8_t before2 = 0;
  if (bits.second_status) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kReadStatus2);
    before2 = ucReadSpiData();
  }
  if (traits.enable_write_status) {
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kEnableWriteStatus);
  }
  // The write starts when the ready poll's 0x01 ends this instruction.
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kWriteStatus);
  if (bits.second_status) {
    // Block protection and complement cleared; the lock bits, QE and the
    // rest of status register 2 as read. A one-byte write would leave the
    // complement, which then protects the whole part.
    vSendSpiData(before1 & bits.lock);
    vSendSpiData(before2 & static_cast<uint8_t>(~bits.cmp));
  } else {
    vSendSpiData(0x00);  // every block-protect bit cleared
  }
  const uint32_t capacity = FlashState.FlashCapacity;
  ProtectedSpan held;
  (void)bDecodeProtection(bits, capacity, before1, before2, &held);
  const uint8_t changed_before = FlashState.StatusChanged;
  // Counted from here: a write that never ends may have lifted it.
  if (held.first != held.end) FlashState.StatusChanged = 1;
  const uint8_t after1 = ucWaitSpiReady();
  const uint8_t after2 = bits.second_status ? ucReadStatusRegister(flash_op::kReadStatus2) : 0;
  ProtectedSpan left;
  const bool decoded = bDecodeProtection(bits, capacity, after1, after2, &left);
  if (bSameSpan(held, left)) FlashState.StatusChanged = changed_before;
  const ProtectedSpan erased = EraseSpanOfPlan();
  if (left.first < erased.end && erased.first < left.end) {
    vRefuseProtectedBlock(bits, decoded, left, after1, after2);
    FlashState.BlockRefused = 1;
  }
}

bool bUpdateArea(uint8_t high, uint8_t middle, uint8_t low, uint8_t erase_count,
                 uint8_t page_count) {
  Print(u" Base Offset : 0x%02x%02x%02x\n\r", static_cast<unsigned>(high),
        static_cast<unsigned>(middle), static_cast<unsigned>(low));
  vEraseSectors(high, middle, low, erase_count);
  if (!bEraseVerify(high, middle, low)) return false;
  vProgramBlock(high, middle, low, page_count);
  return bVerifyBlock(high, middle, low);
}

bool bUpdateWholeBlock(uint8_t high, uint8_t middle, uint8_t low) {
  vEraseBlock(high, middle, low);
  if (!bEraseVerify(high, middle, low)) return false;
  vProgramBlock(high, middle, low, 0);
  return bVerifyBlock(high, middle, low);
}

void vWriteBlocks(bool (*attempt)(), void (*before)()) {
  BlockPlan first = {};
  while (FlashState.BlockNum < FlashState.MaxBlockNum) {
    vPlanBlock();
    if (FlashState.BlockNum == 0) first = FlashState.Plan;
    if (FlashState.BlockNum != 0) FlashState.StartOffset = 0;

    vShowBlockScreen();
    // A failing block ends the loop, so a verified block is block 0 here.
    if (FlashState.BlocksVerified != 0 && bBlockStartWraps(first)) {
      vFailUpdate();
      break;
    }
    if (before != nullptr) before();
    FlashState.BlockBytesWritten = 0;
    FlashState.BlockUnitsUnchanged = 0;
    const bool passed = bRunBlockWithRetries(attempt);
    if (passed) {
      ++FlashState.BlocksVerified;
      if (FlashState.BlockBytesWritten != 0) ++FlashState.BlocksWritten;
      FlashState.BytesWritten += FlashState.BlockBytesWritten;
      FlashState.UnitsUnchanged += FlashState.BlockUnitsUnchanged;
    }
    FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1);
    // A failing block has left flash mode already.
    if (!passed) break;
  }
}

void vShowUpdateSummary() {
  if (FlashState.UpdateFailed != 0) return;
  if (FlashState.ChangedOnlyMode == 1 && FlashState.BytesWritten == 0) {
    Print(u"\n\rNothing to write: the flash already holds the image.\n\r");
    return;
  }
  // Whole tenths of a second: the clock is real on the board, modelled on
  // the board model.
  const uint64_t tenths = (MonotonicMicroseconds() - FlashState.UpdateStartMicroseconds) / 100000;
  // /U's unchanged blocks are not counted.
  const unsigned blocks = FlashState.BlocksWritten;
  Print(u"\n\rDone: %d block%s, %d bytes written and verified", static_cast<int>(blocks),
        blocks == 1 ? u"" : u"s", static_cast<int>(FlashState.BytesWritten));
  // /U's count goes on a second line: one would pass column 79.
  if (FlashState.ChangedOnlyMode == 1)
    Print(u",\n\r%d erase units unchanged,", static_cast<int>(FlashState.UnitsUnchanged));
  Print(u" in %d.%d s.\n\r", static_cast<int>(tenths / 10), static_cast<int>(tenths % 10));
}

void vUpdateFlash() {
  if (!bStartBlockOperation(kUpdateFrame)) return;
  if (!bSaveBackup()) {
    vFailUpdate();
    vCloseOperationFrame();
    return;
  }
  vWriteBlocks(&bUpdatePlannedBlock, &vClearSpiStatus);
  vEndBlockOperation(true);
  vShowUpdateSummary();
}
