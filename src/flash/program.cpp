// The programming methods: auto address increment by byte or by word, and
// page programming in 256-byte pages or 32-byte pieces. Every method stops
// where the block plan's program end is reached.
#include "flash/flash_engine.h"

namespace {

// One page-program command; the flash starts writing it when the next
// sub-command 0x01 ends it.
void vPageCommand(uint32_t address, uint32_t size, uint64_t end, uint64_t distance) {
  vSpiWriteEnable();
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kPageProgram);
  vSendFlashAddress(address);
  for (FlashState.ByteInPage = 0; FlashState.ByteInPage < size; ++FlashState.ByteInPage) {
    if (FlashState.ProgrammedCount == end) break;
    vSendSpiData(ucImageByte(ullImageOffset(distance + FlashState.ByteInPage)));
    ++FlashState.ProgrammedCount;
  }
}

// After the first page command on a part of two methods: reads the page
// back and returns the offset to go on from one byte per command (1 when
// only its first byte landed), or 0 when the page took or tells nothing yet
// (every byte after the first is 0xFF in the image).
uint32_t uiProbeByteProgram(uint32_t address, uint64_t distance, uint32_t sent) {
  bool telling = false;
  for (uint32_t i = 1; i < sent; ++i) telling |= ucImageByte(ullImageOffset(distance + i)) != 0xFF;
  if (!telling) return 0;
  FlashState.ProgramMethodKnown = 1;
  vOpenReadPass(address);
  bool first_only = ucReadSpiData() == ucImageByte(ullImageOffset(distance));
  for (uint32_t i = 1; i < sent; ++i) first_only &= ucReadSpiData() == 0xFF;
  vCloseReadPass();
  if (!first_only) return 0;
  FlashState.ProgramByBytes = 1;
  Print(u"\n  The flash took only the first byte of a page: one byte per command from here.\n");
  Print(u"  Programing...    : ");
  return 1;
}

// Pages of 256 bytes, each written as one command of `piece` bytes or as
// several; stops when the run's byte count reaches `end`.
void vProgramPageRun(uint32_t start, uint32_t pages, uint64_t end, uint32_t piece,
                     bool mark_every_page, bool show_step = true) {
  if (show_step) Print(u"  Programing...    : ");
  const bool two_methods = rFlashTraits().program == ProgramKind::kPagesOrBytes;
  for (FlashState.PageIndex = 0; FlashState.PageIndex < pages; ++FlashState.PageIndex) {
    if (FlashState.ProgrammedCount == end) break;
    const uint32_t page_piece = two_methods && FlashState.ProgramByBytes ? 1 : piece;
    for (uint32_t offset = 0; offset < geometry::kPage; offset += page_piece) {
      if (FlashState.ProgrammedCount == end) break;
      const uint32_t distance =
          static_cast<uint32_t>(FlashState.PageIndex) * geometry::kPage + offset;
      const uint64_t before = FlashState.ProgrammedCount;
      vPageCommand(start + distance, page_piece, end, distance);
      if (!two_methods || FlashState.ProgramMethodKnown) continue;
      vWaitSpiReady();
      const uint32_t sent = static_cast<uint32_t>(FlashState.ProgrammedCount - before);
      if (uiProbeByteProgram(start + distance, distance, sent) == 0) continue;
      // The rest of this page again, one byte per command; nothing is erased twice.
      FlashState.ProgrammedCount = before + 1;
      for (uint32_t i = 1; i < sent; ++i) vPageCommand(start + distance + i, 1, end, distance + i);
      break;
    }
    vWaitSpiReady();
    if (mark_every_page || FlashState.PageIndex % 16 == 0) vPrintProgressMark();
  }
  vSpiWriteDisable();
  if (show_step) Print(u" -- Programing OK. \n\n");
}

// An auto-address-increment sequence starts with one write enable and the
// first command carrying the address. Main-area block 0 stops where the page
// methods stop, so a later block's data is not written ahead of that block's
// own erase.
void vOpenAaiSequence(uint8_t opcode, uint32_t address, bool show_step) {
  vSpiWriteEnable();
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  vSendFlashAddress(address);
  if (show_step) Print(u"  Programing...    : ");
}

// The write disable ends the last, data-less command and the sequence.
void vCloseAaiSequence(bool show_step) {
  vSpiWriteDisable();
  vWaitSpiReady();
  if (show_step) Print(u" -- Programing OK. \n\n");
}

void vRunAaiByte(uint32_t start, bool show_step) {
  const uint64_t end = FlashState.Plan.program_end;
  vOpenAaiSequence(flash_op::kAaiByteProgram, start, show_step);
  for (FlashState.counterN = 0; FlashState.counterN < geometry::kBlock; ++FlashState.counterN) {
    if (FlashState.ProgrammedCount == end) break;
    vSendSpiData(ucImageByte(ullImageOffset(FlashState.counterN)));
    // The ready poll's 0x01 ends the command, which writes the byte; the
    // next command carries no address, the flash advances it itself.
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kAaiByteProgram);
    ++FlashState.ProgrammedCount;
    if (FlashState.counterN % geometry::kSector4K == 0) vPrintProgressMark();
  }
  vCloseAaiSequence(show_step);
}

void vRunAaiWord(uint32_t start, bool show_step) {
  const uint64_t end = FlashState.Plan.program_end;
  vOpenAaiSequence(flash_op::kAaiWordProgram, start, show_step);
  unsigned pair = 0;
  for (FlashState.counterN = 0; FlashState.counterN < geometry::kBlock; ++FlashState.counterN) {
    if (FlashState.ProgrammedCount == end) break;
    // An image of odd length ends inside a pair: its last byte goes out
    // with 0xFF, which leaves that cell erased.
    const bool past_end = FlashState.ProgrammedCount + pair >= end;
    vSendSpiData(past_end ? 0xFF : ucImageByte(ullImageOffset(FlashState.counterN)));
    if (++pair == 2) {
      pair = 0;
      vWaitSpiReady();
      vEnterFollowMode();
      vSendSpiCommand(flash_op::kAaiWordProgram);
      FlashState.ProgrammedCount += 2;
      if (FlashState.ProgrammedCount > end) FlashState.ProgrammedCount = end;
    }
    if (FlashState.counterN % geometry::kSector4K == 0) vPrintProgressMark();
  }
  vCloseAaiSequence(show_step);
}

}  // namespace

void vProgramAaiByte(uint8_t high, uint8_t middle, uint8_t low) {
  vRunAaiByte(uiFlashAddress(high, middle, low), true);
}

void vProgramAaiWord(uint8_t high, uint8_t middle, uint8_t low) {
  vRunAaiWord(uiFlashAddress(high, middle, low), true);
}

void vProgramPages(uint8_t high, uint8_t middle, uint8_t low) {
  vProgramPageRun(uiFlashAddress(high, middle, low), geometry::kPagesPerBlock,
                  FlashState.Plan.program_end, geometry::kPage, false);
}

void vProgramPagesCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  FlashState.EndCount = FlashState.Plan.program_end;
  vProgramPageRun(uiFlashAddress(high, middle, low), count, FlashState.EndCount, geometry::kPage,
                  FlashState.BbkMode == 1);
}

// The small-page part takes at most 32 bytes per program command.
void vProgramChunks(uint8_t high, uint8_t middle, uint8_t low) {
  vProgramPageRun(uiFlashAddress(high, middle, low), geometry::kPagesPerBlock,
                  FlashState.Plan.program_end, geometry::kChunk, false);
}

void vProgramChunksCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  vProgramPageRun(uiFlashAddress(high, middle, low), count, FlashState.Plan.program_end,
                  geometry::kChunk, false);
}

void vProgramPlannedRange(uint32_t start) {
  const uint64_t end = FlashState.Plan.program_end;
  switch (rFlashTraits().program) {
    case ProgramKind::kAaiByte:
      return vRunAaiByte(start, false);
    case ProgramKind::kAaiWord:
      return vRunAaiWord(start, false);
    case ProgramKind::kChunks32:
      return vProgramPageRun(start, geometry::kPagesPerBlock, end, geometry::kChunk, false, false);
    case ProgramKind::kPages:
    case ProgramKind::kPagesOrBytes:
      return vProgramPageRun(start, geometry::kPagesPerBlock, end, geometry::kPage, false, false);
  }
}
