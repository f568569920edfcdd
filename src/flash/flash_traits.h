// What the program knows of each SPI flash it tells apart, one row per
// identification. Identification picks the row once (vPickFlashTraits); the
// engine reads its fields and never the ID bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "flash/geometry.h"
#include "hw/spi.h"

enum class IdForm : uint8_t {
  kAny,
  kJedec,      // answered 0x9F with a manufacturer byte
  kSignature,  // answered 0x9F with 0x00 and was read by 0xAB
};

// A test on one ID byte.
struct IdByteTest {
  enum Kind : uint8_t { kAny, kEqual, kNotEqual };
  Kind kind;
  uint8_t index;
  uint8_t value;
};

enum class ProgramKind : uint8_t {
  kPages,     // 256-byte page program, one command per page
  kChunks32,  // page program, one command per 32 bytes
  kAaiByte,   // auto address increment, one byte per command
  kAaiWord,   // auto address increment, two bytes per command
  // 256-byte pages, unless the first page shows that only its first byte
  // landed: then one byte per 0x02 command for the rest of the run.
  kPagesOrBytes,
};

struct EraseStep {
  uint8_t opcode;
  uint32_t step;  // bytes between two erase commands
  uint32_t size;  // bytes one command erases
};

// How the ID tells the capacity.
enum class CapacityRule : uint8_t {
  kUnknown,
  kJedecDensity,  // third ID byte is log2 of the size in bytes
  kSstDensity,    // SST's own third-byte codes
  kSstSignature,  // SST's signature device codes (second byte)
  kFixed,         // the row's own entry
};

struct ProtectBytes {
  uint8_t status;            // first status byte written by /PB
  bool second_status;        // the second status register is read by 0x35 and written back
  bool enable_write_status;  // 0x50 before the status write
};

// What most parts take: 4 KB sector erases on every path, 256-byte pages.
constexpr EraseStep kErase4K = {flash_op::kSectorErase4K, geometry::kSector4K, geometry::kSector4K};
// Block-protect bit BP0 (bit 2); bit 1 is the write-enable latch, read-only.
constexpr ProtectBytes kProtectBp0 = {0x06, false, false};

// A row names the fields where a part differs from the common one.
struct FlashTraits {
  // The identification this row matches.
  uint8_t manufacturer = 0;
  IdForm form = IdForm::kAny;
  IdByteTest device = {IdByteTest::kAny, 0, 0};
  // The vendor line shown for it, or null.
  const char16_t* vendor_line = nullptr;
  // The whole-block path's erase, and the area paths' (and /T's) erase.
  EraseStep block_erase = kErase4K;
  EraseStep sector_erase = kErase4K;
  ProgramKind program = ProgramKind::kPages;
  // 0x50 goes with every write enable and before the status clear's write.
  bool enable_write_status = false;
  ProtectBytes protect = kProtectBp0;
  CapacityRule capacity_rule = CapacityRule::kJedecDensity;
  uint32_t capacity = 0;  // for kFixed
};

// The row every unmatched identification gets (and /T, which identifies
// nothing).
extern const FlashTraits kUnknownFlash;
extern const FlashTraits* const FlashTraitsTable;
extern const size_t kFlashTraitsRows;

// True when the row matches these ID bytes read in this form.
bool bTraitsMatch(const FlashTraits& row, const uint8_t* id, IdForm form);
// Picks the first matching row for FlashState's ID bytes and form, and with
// it the capacity.
void vPickFlashTraits();
// The picked row (kUnknownFlash before identification).
const FlashTraits& rFlashTraits();
// Capacity in bytes the ID tells for this row, 0 when it does not.
uint32_t uiFlashCapacity(const FlashTraits& row, const uint8_t* id);
