// The flash traits table and the pick made at identification.
#include "flash/flash_traits.h"

#include "flash/geometry.h"
#include "hw/spi.h"
#include "tolvi.h"

namespace {

constexpr EraseStep kErase4K = {flash_op::kSectorErase4K, geometry::kSector4K, geometry::kSector4K};
// ST parts get their 64 KB block erase where the others get the 4 KB sector
// erase, still stepped 4 KB per command: one block may be erased sixteen
// times over.
constexpr EraseStep kErase64KBy4K = {flash_op::kBlockErase64K, geometry::kSector4K,
                                     geometry::kBlock};
constexpr EraseStep kErase1K = {flash_op::kSectorErase1K, geometry::kSector1K, geometry::kSector1K};

// BP0 (bit 2); bit 1 is the write-enable latch, read-only.
constexpr ProtectBytes kProtectBp0 = {0x06, false, false};
constexpr ProtectBytes kProtectBp0AfterEwsr = {0x06, false, true};
// SEC, TB and BP0 (bits 6, 5, 2) protect the lowest 4 KB sector, where the
// boot block lives; the second status register goes back unchanged.
constexpr ProtectBytes kProtectLowest4K = {0x64, true, true};

constexpr IdByteTest kAnyDevice = {IdByteTest::kAny, 0, 0};
// The Macronix part of this family whose third ID byte is 0x10 takes at most
// 32 bytes per program command.
constexpr uint8_t kMxicSmallPageDevice = 0x10;
// The maker's flash fills the last of the sixteen bytes only when it answers
// the signature read; its "A type" answers 0x9F (all 0xFF) and leaves it 0.
constexpr IdByteTest kMakerAType = {IdByteTest::kEqual, 15, 0x00};
constexpr IdByteTest kMakerSignature = {IdByteTest::kNotEqual, 15, 0x00};
// 2 Mbit, the size of the maker's signature part.
constexpr uint32_t kMakerSignatureCapacity = 0x40000;

constexpr FlashTraits Row(uint8_t manufacturer, const char16_t* vendor_line,
                          CapacityRule capacity_rule = CapacityRule::kJedecDensity) {
  return {manufacturer,          IdForm::kAny, kAnyDevice,  vendor_line,   kErase4K, kErase4K,
          ProgramKind::kPages, false,        kProtectBp0, capacity_rule, 0};
}

constexpr FlashTraits WithForm(FlashTraits row, IdForm form) {
  row.form = form;
  return row;
}
constexpr FlashTraits WithDevice(FlashTraits row, IdByteTest device) {
  row.device = device;
  return row;
}
constexpr FlashTraits WithErase(FlashTraits row, EraseStep block, EraseStep sector) {
  row.block_erase = block;
  row.sector_erase = sector;
  return row;
}
constexpr FlashTraits WithProgram(FlashTraits row, ProgramKind program) {
  row.program = program;
  return row;
}
constexpr FlashTraits WithSst(FlashTraits row) {
  row.enable_write_status = true;
  row.protect = kProtectBp0AfterEwsr;
  return row;
}
constexpr FlashTraits WithProtect(FlashTraits row, ProtectBytes protect) {
  row.protect = protect;
  return row;
}
constexpr FlashTraits WithCapacity(FlashTraits row, uint32_t capacity) {
  row.capacity_rule = CapacityRule::kFixed;
  row.capacity = capacity;
  return row;
}

constexpr const char16_t* kSst = u" SPI Vendor       : SST \n";
constexpr const char16_t* kMxic = u" SPI Vendor       : MXIC \n";

// Rows of one manufacturer exclude each other, so an ID shows one vendor line.
constexpr FlashTraits kRows[] = {
    WithProgram(WithSst(WithForm(Row(0xBF, kSst, CapacityRule::kSstDensity), IdForm::kJedec)),
                ProgramKind::kAaiWord),
    WithProgram(WithSst(WithForm(Row(0xBF, kSst, CapacityRule::kSstSignature), IdForm::kSignature)),
                ProgramKind::kAaiByte),
    WithProtect(Row(0xEF, u" SPI Vendor       : Winbond \n"), kProtectLowest4K),
    Row(0x1F, u" SPI Vendor       : Atmel \n", CapacityRule::kUnknown),
    WithErase(Row(0x20, u" SPI Vendor       : ST \n"), kErase64KBy4K, kErase64KBy4K),
    Row(0x01, u" SPI Vendor       : Spansion \n"),
    WithProgram(WithDevice(Row(0xC2, kMxic), {IdByteTest::kEqual, 2, kMxicSmallPageDevice}),
                ProgramKind::kChunks32),
    WithDevice(Row(0xC2, kMxic), {IdByteTest::kNotEqual, 2, kMxicSmallPageDevice}),
    Row(0x37, u" SPI Vendor       : AMIC \n"),
    Row(0x1C, u" SPI Vendor       : EON \n"),
    Row(0x8C, u" SPI Vendor       : ESMT \n"),
    WithProgram(
        WithErase(WithDevice(Row(0xFF, u" SPI Vendor       : XQR A type\n", CapacityRule::kUnknown),
                             kMakerAType),
                  kErase1K, kErase4K),
        ProgramKind::kAaiWord),
    WithCapacity(
        WithProgram(WithErase(WithDevice(Row(0xFF, u" SPI Vendor       : XQR \n"), kMakerSignature),
                              kErase1K, kErase4K),
                    ProgramKind::kAaiWord),
        kMakerSignatureCapacity),
    Row(0xC8, u" SPI Vendor       : GigaDevice \n"),
    Row(0x7F, u" SPI Vendor       : PMCDevice \n", CapacityRule::kUnknown),
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

const FlashTraits kUnknownFlash = Row(0x00, nullptr, CapacityRule::kUnknown);
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

uint32_t uiSmallestEraseUnit(const FlashTraits& row) {
  return row.block_erase.size < row.sector_erase.size ? row.block_erase.size
                                                      : row.sector_erase.size;
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
  FlashState.EraseUnit = uiSmallestEraseUnit(*FlashState.Traits);
}

const FlashTraits& rFlashTraits() {
  return FlashState.Traits != nullptr ? *FlashState.Traits : kUnknownFlash;
}
