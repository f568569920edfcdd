// The programming methods: auto address increment by byte or by word, and
// page programming in 256-byte pages or 32-byte pieces.
#include "flash/flash_engine.h"

uint64_t ullImageOffset(uint64_t distance) {
  uint64_t offset = static_cast<uint64_t>(FlashState.BlockBase) * 0x10000 + distance;
  if (FlashState.MainMode != 0 && FlashState.BlockNum != 0) offset -= 0x1000;
  return offset;
}

uint8_t ucImageByte(uint64_t offset) {
  return bImageHasByte(offset) ? FlashState.ImageData[offset] : 0xFF;
}

uint64_t ullAreaEndCount() {
  if (FlashState.MainMode != 0 && FlashState.BlockNum == 0) {
    return static_cast<uint64_t>(FlashState.ImageSize) & 0xFFFF;
  }
  return static_cast<uint64_t>(FlashState.ImageSize);
}

void vPrintProgressMark() { Print(u"%c", ProgressMark); }

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

// Pages of 256 bytes, each written as one command of `piece` bytes or as
// several; stops when the run's byte count reaches `end`.
void vProgramPageRun(uint32_t start, uint32_t pages, uint64_t end, uint32_t piece,
                     bool mark_every_page) {
  Print(u"  Programing...    : ");
  for (FlashState.PageIndex = 0; FlashState.PageIndex < pages; ++FlashState.PageIndex) {
    if (FlashState.ProgrammedCount == end) break;
    for (uint32_t offset = 0; offset < 0x100; offset += piece) {
      if (FlashState.ProgrammedCount == end) break;
      const uint32_t distance = static_cast<uint32_t>(FlashState.PageIndex) * 0x100 + offset;
      vPageCommand(start + distance, piece, end, distance);
    }
    vWaitSpiReady();
    if (mark_every_page || FlashState.PageIndex % 16 == 0) vPrintProgressMark();
  }
  vSpiWriteDisable();
  Print(u" -- Programing OK. \n\n");
}

uint64_t ullImageEnd() { return static_cast<uint64_t>(FlashState.ImageSize); }

// An auto-address-increment sequence starts with one write enable and the
// first command carrying the address. Returns where the run's byte count
// stops: main-area block 0 stops where the page methods stop, so a later
// block's data is not written ahead of that block's own erase.
uint64_t ullOpenAaiSequence(uint8_t opcode, uint32_t address) {
  const uint64_t end = ullAreaEndCount();
  vSpiWriteEnable();
  vEnterFollowMode();
  vSendSpiCommand(opcode);
  vSendFlashAddress(address);
  Print(u"  Programing...    : ");
  return end;
}

// The write disable ends the last, data-less command and the sequence.
void vCloseAaiSequence() {
  vSpiWriteDisable();
  vWaitSpiReady();
  Print(u" -- Programing OK. \n\n");
}

}  // namespace

void vProgramAaiByte(uint8_t high, uint8_t middle, uint8_t low) {
  const uint64_t end =
      ullOpenAaiSequence(flash_op::kAaiByteProgram, uiFlashAddress(high, middle, low));
  for (FlashState.counterN = 0; FlashState.counterN < 0x10000; ++FlashState.counterN) {
    if (FlashState.ProgrammedCount == end) break;
    vSendSpiData(ucImageByte(ullImageOffset(FlashState.counterN)));
    // The ready poll's 0x01 ends the command, which writes the byte; the
    // next command carries no address, the flash advances it itself.
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kAaiByteProgram);
    ++FlashState.ProgrammedCount;
    if (FlashState.counterN % 0x1000 == 0) vPrintProgressMark();
  }
  vCloseAaiSequence();
}

void vProgramAaiWord(uint8_t high, uint8_t middle, uint8_t low) {
  const uint64_t end =
      ullOpenAaiSequence(flash_op::kAaiWordProgram, uiFlashAddress(high, middle, low));
  unsigned pair = 0;
  for (FlashState.counterN = 0; FlashState.counterN < 0x10000; ++FlashState.counterN) {
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
    if (FlashState.counterN % 0x1000 == 0) vPrintProgressMark();
  }
  vCloseAaiSequence();
}

void vProgramPages(uint8_t high, uint8_t middle, uint8_t low) {
  vProgramPageRun(uiFlashAddress(high, middle, low), 256, ullImageEnd(), 0x100, false);
}

void vProgramPagesCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  FlashState.EndCount = ullAreaEndCount();
  vProgramPageRun(uiFlashAddress(high, middle, low), count, FlashState.EndCount, 0x100,
                  FlashState.BbkMode == 1);
}

// The MXIC part of this family takes at most 32 bytes per program command.
void vProgramChunks(uint8_t high, uint8_t middle, uint8_t low) {
  vProgramPageRun(uiFlashAddress(high, middle, low), 256, ullImageEnd(), 0x20, false);
}

void vProgramChunksCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count) {
  vProgramPageRun(uiFlashAddress(high, middle, low), count, ullImageEnd(), 0x20, false);
}
