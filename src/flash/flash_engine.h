// Pieces shared by the flash engine's files: SPI opcodes, 24-bit flash
// addresses, the image byte rule and the progress mark.
#pragma once

#include <stdint.h>

#include "tolvi.h"

namespace flash_op {
constexpr uint8_t kReadJedecId = 0x9F;
constexpr uint8_t kReadSignature = 0xAB;  // older parts that answer 0x9F with 0x00
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kReadStatus2 = 0x35;  // Winbond: second status register
constexpr uint8_t kWriteEnable = 0x06;
// SST parts: enables the next status-register write (EWSR). On Winbond parts
// 0x50 is the volatile status write enable; both accept the 0x01 after it.
constexpr uint8_t kEnableWriteStatus = 0x50;
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kSectorErase4K = 0x20;
// ST parts take the 64 KB block erase here; the engine still steps 4 KB per
// command, so one block may be erased up to 16 times over.
constexpr uint8_t kBlockErase64K = 0xD8;
constexpr uint8_t kSectorErase1K = 0xD7;  // the maker's own flash (ID 0xFF)
constexpr uint8_t kFastRead = 0x0B;
constexpr uint8_t kAaiByteProgram = 0xAF;
constexpr uint8_t kAaiWordProgram = 0xAD;
constexpr uint8_t kPageProgram = 0x02;
}  // namespace flash_op

// Manufacturer bytes (SPIDeviceID[0]) the engine decides on.
namespace vendor {
constexpr uint8_t kSst = 0xBF;
constexpr uint8_t kSt = 0x20;
constexpr uint8_t kWinbond = 0xEF;
constexpr uint8_t kMxic = 0xC2;
constexpr uint8_t kMaker = 0xFF;
// Third ID byte of the MXIC part that takes 32-byte program commands.
constexpr uint8_t kMxicSmallPageDevice = 0x10;
}  // namespace vendor

// Status-register bits.
constexpr uint8_t kStatusWriteEnableLatch = 0x02;

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

// Reads the flash from `address` and checks that it reads erased until the
// position counted from block 0 reaches `end_count` or 64 KB are read, with a
// mark every `mark_every` bytes. Prints the check's line and, on a failure,
// the failing counterN.
bool bCheckErased(uint32_t address, uint64_t end_count, uint64_t mark_every);

// Which image byte belongs at a distance from a procedure's start address. In
// main-area mode the image starts 0x1000 into the flash, so from block 1 on
// the image runs 0x1000 behind it.
uint64_t ullImageOffset(uint64_t distance);
// The image byte at an offset, or 0xFF (what an erased cell holds) beyond the
// bytes actually loaded.
uint8_t ucImageByte(uint64_t offset);
inline bool bImageHasByte(uint64_t offset) {
  return FlashState.ImageLoaded > 0 && offset < static_cast<uint64_t>(FlashState.ImageLoaded);
}

// The main-area path's block 0 ends at the low 16 bits of the image size
// (the image's first 60 KB); everywhere else the image size bounds the work.
uint64_t ullAreaEndCount();

void vPrintProgressMark();

// Reads the status register of an open 0x05 read until the write-enable
// latch shows, and returns the byte that showed it. The latch is set as soon
// as the 0x06 instruction ends and the flash was idle before it, so a flash
// that still shows it clear after a second ignores write enable: the wait
// gives up then.
uint8_t ucAwaitWriteLatch();
