// The flash traits table and the pick made at identification.
#include "flash/flash_traits.h"

#include "flash/geometry.h"
#include "hw/spi.h"
#include "tolvi.h"

namespace {

// ST parts get their 64 KB block erase where the others get the 4 KB sector
// erase, still stepped 4 KB per command: one block may be erased sixteen
// times over.
constexpr EraseStep kErase64KBy4K = {flash_op::kBlockErase64K, geometry::kSector4K,
                                     geometry::kBlock};
constexpr EraseStep kErase1K = {flash_op::kSectorErase1K, geometry::kSector1K, geometry::kSector1K};
// PMC parts: 0xD7 erases 4 KB on both the Pm25LV040 (which has no 0x20) and
// the Pm25LD040 that answers the same ID.
constexpr EraseStep kErasePmc4K = {flash_op::kSectorErase1K, geometry::kSector4K,
                                   geometry::kSector4K};

// W25Q80: SRP0 SEC TB BP2-0 | CMP .. SRL, SR2 written as the second byte of
// 0x01 (flashrom winbond.c 1831, 1859-1867). SEC, TB and BP0 (0x64) protect
// the lowest 4 KB, where the boot block lives. GigaDevice's GD25Q parts share
// this layout and the two-byte write; flashrom names their bits 6-2 BP4-0
// only, so that part is the datasheet's, from memory.
constexpr StatusBits kStatusSecTbCmp = {.bp = 0x1C,
                                        .tb = 0x20,
                                        .sec = 0x40,
                                        .lock = 0x80,
                                        .cmp = 0x40,
                                        .lock2 = 0x01,
                                        .second_status = true,
                                        .decoded = true};
constexpr ProtectBytes kProtectLowest4K = {0x64, nullptr};
// W25X80: SRP . TB BP2-0, no SEC, no second register (flashrom winbond.c
// 2322-2327): TB and BP0 (0x24) protect the lowest 64 KB.
constexpr StatusBits kStatusTb = {.bp = 0x1C, .tb = 0x20, .lock = 0x80, .decoded = true};
constexpr ProtectBytes kProtectLowest64K = {0x24, nullptr};
// SRWD (bit 7) and the block-protect bits flashrom's unlock clears: BP1_SRWD,
// BP2_SRWD, BP3_SRWD (spi25_statusreg.c 380-398); no top/bottom bit known.
constexpr StatusBits kStatusBp2Srwd = {.bp = 0x0C, .lock = 0x80, .decoded = false};
constexpr StatusBits kStatusBp3Srwd = {.bp = 0x1C, .lock = 0x80, .decoded = false};
constexpr StatusBits kStatusBp4Srwd = {.bp = 0x3C, .lock = 0x80, .decoded = false};
// SST25: BPL AAI BP3-0 (flashrom spi25_statusreg.c 987-996); no TB, and the
// bits are volatile and come up protecting (Linux SPI_NOR_SWP_IS_VOLATILE).
constexpr ProtectBytes kProtectVolatileTop = {
    0, u"This flash protects from the top only and loses its protection at power-off"};

// The Macronix part of this family whose third ID byte is 0x10 takes at most
// 32 bytes per program command.
constexpr IdByteTest kMxicSmallPage = {IdByteTest::kEqual, 2, 0x10};
constexpr IdByteTest kMxicOther = {IdByteTest::kNotEqual, 2, 0x10};
// SST25VF064C (size code 0x4B) programs by 256-byte pages, not by AAI.
constexpr IdByteTest kSstPaged = {IdByteTest::kEqual, 2, 0x4B};
constexpr IdByteTest kSstAai = {IdByteTest::kNotEqual, 2, 0x4B};
// AT25SF081 (1F 85 01) is 1 MB; Atmel's device codes are no density.
constexpr IdByteTest kAt25sf081 = {IdByteTest::kEqual, 1, 0x85};
constexpr IdByteTest kAtmelOther = {IdByteTest::kNotEqual, 1, 0x85};
constexpr const char16_t* kAtmel = u" SPI Vendor       : Atmel \n";
// The maker's flash fills the last of the sixteen bytes only when it answers
// the signature read; its "A type" answers 0x9F (all 0xFF) and leaves it 0.
constexpr IdByteTest kMakerAType = {IdByteTest::kEqual, 15, 0x00};
constexpr IdByteTest kMakerSignature = {IdByteTest::kNotEqual, 15, 0x00};

// Winbond's W25Q parts answer 40 as their type byte, the W25X parts 30.
constexpr IdByteTest kWinbondQ = {IdByteTest::kEqual, 1, 0x40};
constexpr IdByteTest kWinbondX = {IdByteTest::kEqual, 1, 0x30};
constexpr IdByteTest kWinbondOther = {IdByteTest::kNeither, 1, 0x40, 0x30};
constexpr const char16_t* kWinbond = u" SPI Vendor       : Winbond \n";

constexpr IdByteTest kPmc040 = {IdByteTest::kEqual, 2, 0x7E};
constexpr IdByteTest kPmcOther = {IdByteTest::kNotEqual, 2, 0x7E};
constexpr const char16_t* kPmc = u" SPI Vendor       : PMCDevice \n";
constexpr const char16_t* kSst = u" SPI Vendor       : SST \n";
constexpr const char16_t* kMxic = u" SPI Vendor       : MXIC \n";

// One row per identification the program tells apart; rows of one
// manufacturer exclude each other, so an ID shows one vendor line. The
// vendor lines print in this order.
constexpr FlashTraits kRows[] = {
    {.manufacturer = 0xBF,
     .form = IdForm::kJedec,
     .device = kSstPaged,
     .vendor_line = kSst,
     .enable_write_status = true,
     .status_bits = kStatusBp4Srwd,
     .protect = kProtectVolatileTop,
     .capacity_rule = CapacityRule::kSstDensity},
    {.manufacturer = 0xBF,
     .form = IdForm::kJedec,
     .device = kSstAai,
     .vendor_line = kSst,
     .program = ProgramKind::kAaiWord,
     .enable_write_status = true,
     .status_bits = kStatusBp4Srwd,
     .protect = kProtectVolatileTop,
     .capacity_rule = CapacityRule::kSstDensity},
    // SST25VF512A: BPL and BP1-0 only (flashrom sst.c 508); the range is not
    // stated anywhere.
    {.manufacturer = 0xBF,
     .form = IdForm::kSignature,
     .vendor_line = kSst,
     .program = ProgramKind::kAaiByte,
     .enable_write_status = true,
     .status_bits = kStatusBp2Srwd,
     .capacity_rule = CapacityRule::kSstSignature},
    {.manufacturer = 0xEF,
     .device = kWinbondQ,
     .vendor_line = kWinbond,
     .status_bits = kStatusSecTbCmp,
     .protect = kProtectLowest4K},
    {.manufacturer = 0xEF,
     .device = kWinbondX,
     .vendor_line = kWinbond,
     .status_bits = kStatusTb,
     .protect = kProtectLowest64K},
    // Other Winbond families: their bits are not stated.
    {.manufacturer = 0xEF, .device = kWinbondOther, .vendor_line = kWinbond},
    {.manufacturer = 0x1F,
     .device = kAt25sf081,
     .vendor_line = kAtmel,
     .capacity_rule = CapacityRule::kFixed,
     .capacity = 0x100000},
    {.manufacturer = 0x1F,
     .device = kAtmelOther,
     .vendor_line = kAtmel,
     .capacity_rule = CapacityRule::kUnknown},
    {.manufacturer = 0x20,
     .vendor_line = u" SPI Vendor       : ST \n",
     .block_erase = kErase64KBy4K,
     .sector_erase = kErase64KBy4K,
     .status_bits = kStatusBp4Srwd},
    {.manufacturer = 0x01,
     .vendor_line = u" SPI Vendor       : Spansion \n",
     .status_bits = kStatusBp4Srwd},
    {.manufacturer = 0xC2,
     .device = kMxicSmallPage,
     .vendor_line = kMxic,
     .program = ProgramKind::kChunks32,
     .status_bits = kStatusBp2Srwd},
    {.manufacturer = 0xC2,
     .device = kMxicOther,
     .vendor_line = kMxic,
     .status_bits = kStatusBp3Srwd},
    {.manufacturer = 0x37,
     .vendor_line = u" SPI Vendor       : AMIC \n",
     .status_bits = kStatusBp3Srwd},
    {.manufacturer = 0x1C, .vendor_line = u" SPI Vendor       : EON \n"},
    // 8C 20 14 answers for the F25L008A (one byte per 0x02) and for a part
    // that programs pages: the first page tells them apart.
    {.manufacturer = 0x8C,
     .vendor_line = u" SPI Vendor       : ESMT \n",
     .program = ProgramKind::kPagesOrBytes},
    {.manufacturer = 0xFF,
     .device = kMakerAType,
     .vendor_line = u" SPI Vendor       : XQR A type\n",
     .block_erase = kErase1K,
     .program = ProgramKind::kAaiWord,
     .capacity_rule = CapacityRule::kUnknown},
    // 2 Mbit, the maker's signature part.
    {.manufacturer = 0xFF,
     .device = kMakerSignature,
     .vendor_line = u" SPI Vendor       : XQR \n",
     .block_erase = kErase1K,
     .program = ProgramKind::kAaiWord,
     .capacity_rule = CapacityRule::kFixed,
     .capacity = 0x40000},
    {.manufacturer = 0xC8,
     .vendor_line = u" SPI Vendor       : GigaDevice \n",
     .status_bits = kStatusSecTbCmp,
     .protect = kProtectLowest4K},
    // 7F 9D 7E: Pm25LV040 and Pm25LD040, both 512 KB.
    {.manufacturer = 0x7F,
     .device = kPmc040,
     .vendor_line = kPmc,
     .block_erase = kErasePmc4K,
     .sector_erase = kErasePmc4K,
     .status_bits = kStatusBp3Srwd,
     .capacity_rule = CapacityRule::kFixed,
     .capacity = 0x80000},
    {.manufacturer = 0x7F,
     .device = kPmcOther,
     .vendor_line = kPmc,
     .block_erase = kErasePmc4K,
     .sector_erase = kErasePmc4K,
     .status_bits = kStatusBp3Srwd,
     .capacity_rule = CapacityRule::kUnknown},
};

// SST's third JEDEC byte (25VF family) and second signature byte.
struct SizeCode {
  uint8_t code;
  uint32_t bytes;
};
constexpr SizeCode kSstJedecSizes[] = {
    {0x8C, 0x40000},  {0x8D, 0x80000},  {0x8E, 0x100000},
    {0x41, 0x200000}, {0x4A, 0x400000}, {0x4B, 0x800000},
};
constexpr SizeCode kSstSignatureSizes[] = {
    {0x48, 0x10000},
    {0x49, 0x20000},
    {0x43, 0x40000},
    {0x44, 0x80000},
};
// Standard density codes: 64 KB (0x10) to 16 MB (0x18), what three address
// bytes reach.
constexpr uint8_t kSmallestDensityCode = 0x10;
constexpr uint8_t kLargestDensityCode = 0x18;

// SEC ranges stop at 32 KB; 64 KB << 8 is beyond any part three address
// bytes reach.
constexpr uint32_t kLargestSecRange = 0x8000;
constexpr uint32_t kLargestFlash = 0x1000000;
constexpr unsigned kWholeFromShift = 8;

template <size_t N>
uint32_t uiLookUpSize(const SizeCode (&codes)[N], uint8_t code) {
  for (const SizeCode& entry : codes) {
    if (entry.code == code) return entry.bytes;
  }
  return 0;
}

}  // namespace

constexpr FlashTraits kUnknownFlash = {.capacity_rule = CapacityRule::kUnknown};
const FlashTraits* const FlashTraitsTable = kRows;
const size_t kFlashTraitsRows = sizeof kRows / sizeof kRows[0];

bool bTraitsMatch(const FlashTraits& row, const uint8_t* id, IdForm form) {
  if (id[0] != row.manufacturer) return false;
  if (row.form != IdForm::kAny && row.form != form) return false;
  switch (row.device.kind) {
    case IdByteTest::kAny:
      return true;
    case IdByteTest::kEqual:
      return id[row.device.index] == row.device.value;
    case IdByteTest::kNotEqual:
      return id[row.device.index] != row.device.value;
    case IdByteTest::kNeither:
      return id[row.device.index] != row.device.value && id[row.device.index] != row.device.other;
  }
  return false;
}

uint32_t uiFlashCapacity(const FlashTraits& row, const uint8_t* id) {
  switch (row.capacity_rule) {
    case CapacityRule::kUnknown:
      return 0;
    case CapacityRule::kJedecDensity:
      if (id[2] < kSmallestDensityCode || id[2] > kLargestDensityCode) return 0;
      return uint32_t{1} << id[2];
    case CapacityRule::kSstDensity:
      return uiLookUpSize(kSstJedecSizes, id[2]);
    case CapacityRule::kSstSignature:
      return uiLookUpSize(kSstSignatureSizes, id[1]);
    case CapacityRule::kFixed:
      return row.capacity;
  }
  return 0;
}

void vPickFlashTraits() {
  const IdForm form = FlashState.SignatureId != 0 ? IdForm::kSignature : IdForm::kJedec;
  FlashState.Traits = &kUnknownFlash;
  for (size_t i = 0; i < kFlashTraitsRows; ++i) {
    if (bTraitsMatch(kRows[i], FlashState.SPIDeviceID, form)) {
      FlashState.Traits = &kRows[i];
      break;
    }
  }
  FlashState.FlashCapacity = uiFlashCapacity(*FlashState.Traits, FlashState.SPIDeviceID);
}

bool bDecodeProtection(const StatusBits& bits, uint32_t capacity, uint8_t status1, uint8_t status2,
                       ProtectedSpan* span) {
  if (!bits.decoded || capacity == 0) {
    const uint32_t whole = capacity != 0 ? capacity : kLargestFlash;
    *span = (status1 & bits.bp) != 0 ? ProtectedSpan{0, whole} : ProtectedSpan{0, 0};
    return false;
  }
  // flashrom's decode_range_generic (writeprotect_ranges.c 12-99).
  const unsigned shift = static_cast<unsigned>(__builtin_ctz(bits.bp));
  const unsigned bp = (status1 & bits.bp) >> shift;
  uint32_t length = 0;
  if (bp != 0 && bp == static_cast<unsigned>(bits.bp >> shift)) {
    // Every BP bit set: the whole part, with SEC set too (the datasheet's
    // table, from memory; flashrom states it for SEC clear).
    length = capacity;
  } else if (bp != 0 && bits.sec != 0 && (status1 & bits.sec) != 0) {
    length = geometry::kSector4K << (bp - 1);
    if (length > kLargestSecRange) length = kLargestSecRange;
  } else if (bp != 0) {
    length = bp - 1 < kWholeFromShift ? geometry::kBlock << (bp - 1) : capacity;
  }
  if (length > capacity) length = capacity;
  bool bottom = bits.tb != 0 && (status1 & bits.tb) != 0;
  if (bits.cmp != 0 && (status2 & bits.cmp) != 0) {
    length = capacity - length;
    bottom = !bottom;
  }
  *span = bottom ? ProtectedSpan{0, length} : ProtectedSpan{capacity - length, capacity};
  return true;
}

const FlashTraits& rFlashTraits() {
  return FlashState.Traits != nullptr ? *FlashState.Traits : kUnknownFlash;
}
