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
  enum Kind : uint8_t { kAny, kEqual, kNotEqual, kNeither };
  Kind kind;
  uint8_t index;
  uint8_t value;
  uint8_t other = 0;  // kNeither: the byte is neither value nor other
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

// How a part's status registers protect its array, as far as the chip
// reference decodes them. A block-protect value v > 0 covers 64 KB << (v - 1)
// (4 KB << (v - 1), at most 32 KB, with SEC set), at most the whole part,
// from the top unless TB is set; CMP protects the complement instead.
struct StatusBits {
  uint8_t bp = 0;     // block-protect bits of status register 1
  uint8_t tb = 0;     // bottom instead of top; 0 where the part has none
  uint8_t sec = 0;    // 4 KB units instead of 64 KB; 0 where the part has none
  uint8_t lock = 0;   // SRP0/SRWD/BPL: holds the register while WP# is low
  uint8_t cmp = 0;    // status register 2: complement
  uint8_t lock2 = 0;  // status register 2: SRP1/SRL, a lock of its own
  // Status register 2 is read by 0x35 and written as 0x01 SR1 SR2.
  bool second_status = false;
  // The range the bits protect is known; where it is not, any bp bit set
  // counts as protecting the whole part.
  bool decoded = false;
};

// What /PB writes to status register 1 to protect the lowest sector and no
// more than it must, or, where no known bit does that lastingly, why not.
struct ProtectBytes {
  uint8_t status;
  const char16_t* refusal;
};

// The part's own unlock: the bits flashrom clears (0x3C), no lock bit known.
constexpr StatusBits kStatusUnknown = {.bp = 0x3C, .decoded = false};
constexpr ProtectBytes kProtectUnknown = {
    0, u"No status bit known on this flash protects its lowest sector alone"};

// What most parts take: 4 KB sector erases on every path, 256-byte pages.
constexpr EraseStep kErase4K = {flash_op::kSectorErase4K, geometry::kSector4K, geometry::kSector4K};

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
  StatusBits status_bits = kStatusUnknown;
  ProtectBytes protect = kProtectUnknown;
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

// Bytes [first, end) of the part the status bits protect; empty when
// first == end.
struct ProtectedSpan {
  uint32_t first;
  uint32_t end;
};
// Decodes the picked part's status bits for a part of `capacity` bytes.
// False where the bits' range is not known (or the capacity is not): then
// any block-protect bit set counts as the whole part, reported as 0 to
// `capacity` (0 to 16 MB when it is not known either).
bool bDecodeProtection(const StatusBits& bits, uint32_t capacity, uint8_t status1, uint8_t status2,
                       ProtectedSpan* span);
