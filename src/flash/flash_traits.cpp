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

// SST parts take 0x50 before the status write.
constexpr ProtectBytes kProtectBp0AfterEwsr = {0x06, false, true};
// SEC, TB and BP0 (bits 6, 5, 2) protect the lowest 4 KB sector, where the
// boot block lives; the second status register goes back unchanged.
constexpr ProtectBytes kProtectLowest4K = {0x64, true, true};

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
     .protect = kProtectBp0AfterEwsr,
     .capacity_rule = CapacityRule::kSstDensity},
    {.manufacturer = 0xBF,
     .form = IdForm::kJedec,
     .device = kSstAai,
     .vendor_line = kSst,
     .program = ProgramKind::kAaiWord,
     .enable_write_status = true,
     .protect = kProtectBp0AfterEwsr,
     .capacity_rule = CapacityRule::kSstDensity},
    {.manufacturer = 0xBF,
     .form = IdForm::kSignature,
     .vendor_line = kSst,
     .program = ProgramKind::kAaiByte,
     .enable_write_status = true,
     .protect = kProtectBp0AfterEwsr,
     .capacity_rule = CapacityRule::kSstSignature},
    {.manufacturer = 0xEF,
     .vendor_line = u" SPI Vendor       : Winbond \n",
     .protect = kProtectLowest4K},
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
     .sector_erase = kErase64KBy4K},
    {.manufacturer = 0x01, .vendor_line = u" SPI Vendor       : Spansion \n"},
    {.manufacturer = 0xC2,
     .device = kMxicSmallPage,
     .vendor_line = kMxic,
     .program = ProgramKind::kChunks32},
    {.manufacturer = 0xC2, .device = kMxicOther, .vendor_line = kMxic},
    {.manufacturer = 0x37, .vendor_line = u" SPI Vendor       : AMIC \n"},
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
    {.manufacturer = 0xC8, .vendor_line = u" SPI Vendor       : GigaDevice \n"},
    // 7F 9D 7E: Pm25LV040 and Pm25LD040, both 512 KB.
    {.manufacturer = 0x7F,
     .device = kPmc040,
     .vendor_line = kPmc,
     .block_erase = kErasePmc4K,
     .sector_erase = kErasePmc4K,
     .capacity_rule = CapacityRule::kFixed,
     .capacity = 0x80000},
    {.manufacturer = 0x7F,
     .device = kPmcOther,
     .vendor_line = kPmc,
     .block_erase = kErasePmc4K,
     .sector_erase = kErasePmc4K,
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

const FlashTraits& rFlashTraits() {
  return FlashState.Traits != nullptr ? *FlashState.Traits : kUnknownFlash;
}
