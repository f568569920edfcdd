// Pieces shared by the flash engine's files: 24-bit flash addresses, the read
// pass, the image byte rule, the progress mark and the write-latch wait. The
// opcodes are in hw/spi.h, the chip's traits in flash_traits.h, the block's
// plan in block_plan.h.
#pragma once

#include <stdint.h>

#include "flash/block_plan.h"
#include "flash/flash_traits.h"
#include "flash/geometry.h"
#include "hw/spi.h"
#include "tolvi.h"

// A flash address is three bytes; stepping adds to the whole 24-bit value so
// a middle byte passing 0xFF carries into the high byte.
inline uint32_t uiFlashAddress(uint8_t high, uint8_t middle, uint8_t low) {
  return (static_cast<uint32_t>(high) << 16) | (static_cast<uint32_t>(middle) << 8) | low;
}

inline void vSendFlashAddress(uint32_t address) {
  vSendSpiData(static_cast<uint8_t>(address >> 16));
  vSendSpiData(static_cast<uint8_t>(address >> 8));
  vSendSpiData(static_cast<uint8_t>(address));
}

// Every pass that reads the flash back opens the same way: the write-enable
// latch cleared, the flash idle, then a fast read at the address with its
// dummy byte. The transaction stays open while the caller takes bytes.
void vOpenReadPass(uint32_t address);
// Ends the pass's read: the ready poll's 0x01 closes the transaction.
void vCloseReadPass();

// The image byte at an offset, or 0xFF (what an erased cell holds) beyond the
// bytes actually loaded.
uint8_t ucImageByte(uint64_t offset);
inline bool bImageHasByte(uint64_t offset) {
  return FlashState.ImageLoaded > 0 && offset < static_cast<uint64_t>(FlashState.ImageLoaded);
}
// Which image byte belongs `distance` bytes after the current block's start.
inline uint64_t ullImageOffset(uint64_t distance) {
  return ullImageOffsetIn(FlashState.Plan, distance);
}

void vPrintProgressMark();

// One erase command at `address`, with its write enable, waited out.
void vEraseAt(uint8_t opcode, uint32_t address);
// The chip's programming method from `start` over the plan's program range,
// without the step's label and result line: for a caller that programs
// several ranges of one block under one line.
void vProgramPlannedRange(uint32_t start);
// Compares the flash from `start` with the image over the plan's verify
// range, without the step's label and its OK. A difference prints the failing
// byte and " -- Verify Fail. \n" and returns false.
bool bVerifyPlannedRange(uint32_t start);

// One read of a status register (0x05 or 0x35), the transaction closed.
uint8_t ucReadStatusRegister(uint8_t opcode);
// "label 0x000000-0x000FFF", the span's first and last byte.
void vPrintSpan(const char16_t* label, const ProtectedSpan& span);

// Reads the status register of an open 0x05 read until the write-enable
// latch shows, and returns the byte that showed it.
uint8_t ucAwaitWriteLatch();
