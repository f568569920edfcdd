// The chip table: one row per modelled part, and the few vendor quirks as
// short functions the rows name. Busy times are the typical figures of the
// part family named beside each row (maxima where the family publishes no
// typical value).
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "sim/sim_text.h"

namespace {

constexpr uint32_t kKB = 1024;
constexpr uint32_t kMB = 1024 * kKB;

// --- quirks -----------------------------------------------------------------

// Most parts answer 0xAB with their device byte for as long as it is clocked.
uint8_t SignatureDeviceByte(const FlashProfile& profile, uint32_t, uint32_t) {
  return profile.id.device;
}

// SST parts answer 0xAB like 0x90: manufacturer and device byte alternately,
// address bit 0 choosing which comes first.
uint8_t SignatureAlternating(const FlashProfile& profile, uint32_t index, uint32_t address) {
  return ((address + index) & 1) ? profile.id.device : profile.id.manufacturer;
}

// The board maker's parts without a JEDEC ID carry a 16-byte signature,
// repeated while clocked.
uint8_t SignatureSixteen(const FlashProfile& profile, uint32_t index, uint32_t) {
  return profile.id.signature_bytes[index % kSignatureLength];
}

// Winbond: a one-byte status write (the older 25X form) also clears QE and
// SRP1 in status register 2, leaving CMP and the lock bits alone.
uint8_t WinbondShortStatusWrite(uint8_t status2) { return status2 & static_cast<uint8_t>(~0x03); }

constexpr uint8_t kMakerSignature[kSignatureLength] = {
    0xFF, 0x58, 0x51, 0x52, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};

// --- status layouts ---------------------------------------------------------

// W25Q/GD25Q: SRP0 SEC TB BP2-0 | CMP .. QE SRP1.
constexpr StatusLayout kWinbondStatus = {
    .has_status2 = true,
    .arm = StatusArm::kVolatile,
    .wel_enables_write = true,
    .power_up1 = 0x00,
    .power_up2 = 0x00,
    .writable1 = 0xFC,
    .writable2 = 0x43,
    .aai_mask = 0,
    .nonvolatile1 = 0xFC,
    .nonvolatile2 = 0x43,
    .short_write = WinbondShortStatusWrite,
    .protect = {.bp_mask = 0x1C,
                .tb_mask = 0x20,
                .sec_mask = 0x40,
                .cmp_mask = 0x40,
                .all_from = 5,
                .all_from_sec = 6,
                .unit = 64 * kKB,
                .lock_mask = 0x80,
                .lock2_mask = 0x01},
};
// The same without the volatile 0x50 (Adesto parts lack it).
constexpr StatusLayout kAdestoStatus = [] {
  StatusLayout layout = kWinbondStatus;
  layout.arm = StatusArm::kNone;
  return layout;
}();
// The single-register layouts below differ only in these.
struct PlainStatus {
  uint8_t power_up;
  uint8_t writable;
  uint8_t aai_mask;
  ProtectLayout protect;
};
// Parts that power up protected keep nothing; the others keep every bit a
// status write may change.
constexpr StatusLayout Plain(const PlainStatus& plain, StatusArm arm = StatusArm::kNone,
                             bool wel_enables_write = true) {
  return {.has_status2 = false,
          .arm = arm,
          .wel_enables_write = wel_enables_write,
          .power_up1 = plain.power_up,
          .power_up2 = 0x00,
          .writable1 = plain.writable,
          .writable2 = 0x00,
          .aai_mask = plain.aai_mask,
          .nonvolatile1 = plain.power_up != 0 ? uint8_t{0} : plain.writable,
          .nonvolatile2 = 0x00,
          .short_write = nullptr,
          .protect = plain.protect};
}
// BP values 1 up to all_from - 1 protect unit << (BP - 1) bytes at the top.
constexpr ProtectLayout TopBlocks(uint8_t bp_mask, uint8_t all_from, uint32_t unit) {
  return {.bp_mask = bp_mask,
          .tb_mask = 0,
          .sec_mask = 0,
          .cmp_mask = 0,
          .all_from = all_from,
          .all_from_sec = 0,
          .unit = unit,
          .lock_mask = 0x80,
          .lock2_mask = 0};
}

// SST25VF080B: BPL AAI BP3-0; powers up with BP2-0 set, all protected.
constexpr StatusLayout kSst080Status = Plain(
    {.power_up = 0x1C, .writable = 0xBC, .aai_mask = 0x40, .protect = TopBlocks(0x1C, 5, 64 * kKB)},
    StatusArm::kSstEwsr);
// SST25VF512A: BPL AAI .. BP1-0; only 0x50 enables a status write; powers
// up with BP1-0 set.
constexpr StatusLayout kSst512Status = Plain(
    {.power_up = 0x0C, .writable = 0x8C, .aai_mask = 0x40, .protect = TopBlocks(0x0C, 3, 16 * kKB)},
    StatusArm::kSstEwsr, false);
// SRWD .. BP2-0 from the top, sixteenths of a 1 MB array.
constexpr StatusLayout kBp3Status = Plain(
    {.power_up = 0x00, .writable = 0x9C, .aai_mask = 0, .protect = TopBlocks(0x1C, 5, 64 * kKB)});
// Spansion FL-K: SRP TB BP2-0.
constexpr StatusLayout kTopBottomStatus = [] {
  StatusLayout layout = Plain(
      {.power_up = 0x00, .writable = 0xBC, .aai_mask = 0, .protect = TopBlocks(0x1C, 5, 64 * kKB)});
  layout.protect.tb_mask = 0x20;
  return layout;
}();
// ISSI: SRWD QE BP3-0.
constexpr StatusLayout kBp4Status = Plain(
    {.power_up = 0x00, .writable = 0xBC, .aai_mask = 0, .protect = TopBlocks(0x3C, 5, 64 * kKB)});
// Small Macronix part: SRWD .. BP1-0, a quarter, a half, all.
constexpr StatusLayout kBp2Status = Plain(
    {.power_up = 0x00, .writable = 0x8C, .aai_mask = 0, .protect = TopBlocks(0x0C, 3, 16 * kKB)});
// PMC 512 KB: 64 KB, 128 KB, 256 KB, all.
constexpr StatusLayout kPmcStatus = Plain(
    {.power_up = 0x00, .writable = 0x9C, .aai_mask = 0, .protect = TopBlocks(0x1C, 4, 64 * kKB)});
// The board maker's 256 KB parts: sixteenths; the AAI bit as on SST.
constexpr StatusLayout kMakerStatus = Plain({.power_up = 0x00,
                                             .writable = 0x9C,
                                             .aai_mask = 0x40,
                                             .protect = TopBlocks(0x1C, 5, 16 * kKB)});

// --- id answers ---------------------------------------------------------------

// A JEDEC part: three ID bytes to 0x9F, zeros after; 0x90 decoded; 0xAB gives
// the device byte.
constexpr IdAnswer Jedec(uint8_t manufacturer, uint8_t type, uint8_t capacity, uint8_t device) {
  return {.jedec = {manufacturer, type, capacity, 0},
          .jedec_length = 3,
          .jedec_fill = 0x00,
          .manufacturer = manufacturer,
          .device = device,
          .has_mfr_device_id = true,
          .signature = SignatureDeviceByte,
          .signature_bytes = nullptr};
}

constexpr ProgramMethod Pages(uint16_t page_size) {
  return {.page_size = page_size, .aai_opcode = 0};
}

constexpr uint32_t kWholeChip = 0;  // EraseOp size of a chip erase

// --- the table --------------------------------------------------------------
// Times are typical figures in us for the part family named beside the row;
// erases are {opcode, size, time}.
constexpr FlashProfile kProfiles[] = {
    // W25Q80 class: 4 KB 45 ms, 32 KB 120 ms, 64 KB 150 ms, chip 2 s, page 0.7 ms, status 10 ms.
    {.name = "w25q80",
     .description = "Winbond 8 Mbit, SR2 via 0x35, SEC/TB/BP/CMP, 4/32/64 KB erase",
     .size = 1 * kMB,
     .id = Jedec(0xEF, 0x40, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 700, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 45000},
                {spi::kErase32K, 32 * kKB, 120000},
                {spi::kErase64K, 64 * kKB, 150000},
                {spi::kChipErase, kWholeChip, 2000000},
                {spi::kChipErase2, kWholeChip, 2000000}},
     .status = &kWinbondStatus},
    // SST25VF080B; SST gives maxima only: erase 25 ms, chip 50 ms, byte or AAI word 10 us.
    {.name = "sst25vf080b",
     .description = "SST 8 Mbit, AAI word 0xAD, 0x50 before status writes, 0x02 one byte",
     .size = 1 * kMB,
     .id = {.jedec = {0xBF, 0x25, 0x8E, 0},
            .jedec_length = 3,
            .jedec_fill = 0x00,
            .manufacturer = 0xBF,
            .device = 0x8E,
            .has_mfr_device_id = true,
            .signature = SignatureAlternating,
            .signature_bytes = nullptr},
     .program = {.page_size = 1, .aai_opcode = spi::kAaiWord},
     .timing = {.page_us = 10, .aai_us = 10, .status_us = 10},
     .erases = {{spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase32K, 32 * kKB, 25000},
                {spi::kErase64K, 64 * kKB, 25000},
                {spi::kChipErase, kWholeChip, 50000},
                {spi::kChipErase2, kWholeChip, 50000}},
     .status = &kSst080Status},
    // SST25VF512A: no JEDEC ID, 0x9F reads 00; maxima: erase 25 ms, chip 100 ms, byte 20 us.
    {.name = "sst25vf512a",
     .description = "SST 512 Kbit, no JEDEC ID, AAI byte 0xAF, status write after 0x50 only",
     .size = 64 * kKB,
     .id = {.jedec = {0, 0, 0, 0},
            .jedec_length = 0,
            .jedec_fill = 0x00,
            .manufacturer = 0xBF,
            .device = 0x48,
            .has_mfr_device_id = true,
            .signature = SignatureAlternating,
            .signature_bytes = nullptr},
     .program = {.page_size = 1, .aai_opcode = spi::kAaiByte},
     .timing = {.page_us = 20, .aai_us = 20, .status_us = 20},
     .erases = {{spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase32K, 32 * kKB, 25000},
                {spi::kChipErase, kWholeChip, 100000}},
     .status = &kSst512Status},
    // MX25L512 class: 4 KB 60 ms, 64 KB 0.7 s, chip 1 s, 32-byte page 0.6 ms, status 5 ms.
    {.name = "mx25l512",
     .description = "Macronix 512 Kbit, 32-byte program page",
     .size = 64 * kKB,
     .id = Jedec(0xC2, 0x20, 0x10, 0x05),
     .program = Pages(32),
     .timing = {.page_us = 600, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase64K, 64 * kKB, 700000},
                {spi::kChipErase, kWholeChip, 1000000},
                {spi::kChipErase2, kWholeChip, 1000000}},
     .status = &kBp2Status},
    // MX25L8005 class: 4 KB 60 ms, 64 KB 1 s, chip 8 s, page 1.4 ms, status 5 ms.
    {.name = "mx25l8005",
     .description = "Macronix 8 Mbit, 256-byte pages",
     .size = 1 * kMB,
     .id = Jedec(0xC2, 0x20, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1400, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase64K, 64 * kKB, 1000000},
                {spi::kChipErase, kWholeChip, 8000000},
                {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // M25P80: 64 KB sector 0.6 s, bulk 8 s, page 1.4 ms, status 5 ms. No 4 KB erase: 0x20 is
    // not decoded. 0x9F adds the CFD length 0x10; there is no 0x90.
    {.name = "m25p80",
     .description = "ST 8 Mbit, 64 KB sector erase 0xD8 only",
     .size = 1 * kMB,
     .id = {.jedec = {0x20, 0x20, 0x14, 0x10},
            .jedec_length = 4,
            .jedec_fill = 0x00,
            .manufacturer = 0x20,
            .device = 0x13,
            .has_mfr_device_id = false,
            .signature = SignatureDeviceByte,
            .signature_bytes = nullptr},
     .program = Pages(256),
     .timing = {.page_us = 1400, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase64K, 64 * kKB, 600000}, {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // The board maker's part, JEDEC form: 0x9F is not decoded and the bus floats high. Timed
    // as the SST parts it stands in for: 1 KB, 4 KB and 64 KB erase 25 ms, AAI word 10 us.
    {.name = "xqr-a",
     .description = "board maker's 2 Mbit, 0x9F reads FF, 1 KB erase 0xD7, AAI word 0xAD",
     .size = 256 * kKB,
     .id = {.jedec = {0, 0, 0, 0},
            .jedec_length = 0,
            .jedec_fill = 0xFF,
            .manufacturer = 0xFF,
            .device = 0xFF,
            .has_mfr_device_id = false,
            .signature = SignatureDeviceByte,
            .signature_bytes = nullptr},
     .program = {.page_size = 256, .aai_opcode = spi::kAaiWord},
     .timing = {.page_us = 700, .aai_us = 10, .status_us = 10},
     .erases = {{spi::kSectorErase, 1 * kKB, 25000},
                {spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase64K, 64 * kKB, 25000},
                {spi::kChipErase2, kWholeChip, 50000}},
     .status = &kMakerStatus},
    // The board maker's part, signature form: 0x9F reads 00, 0xAB gives 16 bytes starting FF
    // and ending non-zero. Timed as above.
    {.name = "xqr",
     .description = "board maker's 2 Mbit, 0x9F reads 00, 16-byte 0xAB signature",
     .size = 256 * kKB,
     .id = {.jedec = {0, 0, 0, 0},
            .jedec_length = 0,
            .jedec_fill = 0x00,
            .manufacturer = 0xFF,
            .device = 0x58,
            .has_mfr_device_id = false,
            .signature = SignatureSixteen,
            .signature_bytes = kMakerSignature},
     .program = {.page_size = 256, .aai_opcode = spi::kAaiWord},
     .timing = {.page_us = 700, .aai_us = 10, .status_us = 10},
     .erases = {{spi::kSectorErase, 1 * kKB, 25000},
                {spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase64K, 64 * kKB, 25000},
                {spi::kChipErase2, kWholeChip, 50000}},
     .status = &kMakerStatus},
    // AT25SF081 class: 4 KB 60 ms, 32 KB 250 ms, 64 KB 400 ms, chip 5 s, page 0.4 ms, status 10 ms.
    {.name = "at25sf081",
     .description = "Atmel/Adesto 8 Mbit, SR2, SEC/TB/BP/CMP",
     .size = 1 * kMB,
     .id = Jedec(0x1F, 0x85, 0x01, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 400, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase32K, 32 * kKB, 250000},
                {spi::kErase64K, 64 * kKB, 400000},
                {spi::kChipErase, kWholeChip, 5000000},
                {spi::kChipErase2, kWholeChip, 5000000}},
     .status = &kAdestoStatus},
    // S25FL208K class: 4 KB 50 ms, 64 KB 500 ms, chip 7 s, page 0.7 ms, status 10 ms.
    {.name = "s25fl208k",
     .description = "Spansion 8 Mbit, TB/BP protection",
     .size = 1 * kMB,
     .id = Jedec(0x01, 0x40, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 700, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 50000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase, kWholeChip, 7000000},
                {spi::kChipErase2, kWholeChip, 7000000}},
     .status = &kTopBottomStatus},
    // A25L080 class: 4 KB 60 ms, 64 KB 0.6 s, chip 8 s, page 1.5 ms, status 5 ms.
    {.name = "a25l080",
     .description = "AMIC 8 Mbit",
     .size = 1 * kMB,
     .id = Jedec(0x37, 0x30, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase64K, 64 * kKB, 600000},
                {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // EN25F80 class: 4 KB 90 ms, 64 KB 0.5 s, chip 8 s, page 1.3 ms, status 10 ms.
    {.name = "en25f80",
     .description = "EON 8 Mbit",
     .size = 1 * kMB,
     .id = Jedec(0x1C, 0x31, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1300, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 90000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase, kWholeChip, 8000000},
                {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // F25L08PA class: 4 KB 40 ms, 64 KB 0.5 s, chip 8 s, page 1.5 ms, status 10 ms.
    {.name = "f25l08pa",
     .description = "ESMT 8 Mbit, 256-byte pages",
     .size = 1 * kMB,
     .id = Jedec(0x8C, 0x20, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 40000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase, kWholeChip, 8000000},
                {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // GD25Q80 class: 4 KB 50 ms, 32 KB 150 ms, 64 KB 250 ms, chip 3 s, page 0.7 ms, status 5 ms.
    {.name = "gd25q80",
     .description = "GigaDevice 8 Mbit, SR2, SEC/TB/BP/CMP",
     .size = 1 * kMB,
     .id = Jedec(0xC8, 0x40, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 700, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 50000},
                {spi::kErase32K, 32 * kKB, 150000},
                {spi::kErase64K, 64 * kKB, 250000},
                {spi::kChipErase, kWholeChip, 3000000},
                {spi::kChipErase2, kWholeChip, 3000000}},
     .status = &kWinbondStatus},
    // Pm25LV040 class: 4 KB 40 ms (0x20 or 0xD7), 64 KB 0.5 s, chip 2 s, page 1.5 ms, status 10 ms.
    // 0x9F starts with the continuation code 7F; 0x90/0xAB give PMC's own 9D.
    {.name = "pm25lv040",
     .description = "PMC 4 Mbit, 4 KB erase by 0x20 or 0xD7",
     .size = 512 * kKB,
     .id = {.jedec = {0x7F, 0x9D, 0x7E, 0},
            .jedec_length = 3,
            .jedec_fill = 0x00,
            .manufacturer = 0x9D,
            .device = 0x7E,
            .has_mfr_device_id = true,
            .signature = SignatureDeviceByte,
            .signature_bytes = nullptr},
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 40000},
                {spi::kSectorErase, 4 * kKB, 40000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase2, kWholeChip, 2000000}},
     .status = &kPmcStatus},
    // IS25LP080D class: 4 KB 70 ms, 32 KB 140 ms, 64 KB 170 ms, chip 1 s, page 0.2 ms, status 2 ms.
    // Its maker byte 9D has no row in the program's vendor table.
    {.name = "is25lp080d",
     .description = "ISSI 8 Mbit, BP3-0",
     .size = 1 * kMB,
     .id = Jedec(0x9D, 0x60, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 200, .aai_us = 0, .status_us = 2000},
     .erases = {{spi::kErase4K, 4 * kKB, 70000},
                {spi::kErase32K, 32 * kKB, 140000},
                {spi::kErase64K, 64 * kKB, 170000},
                {spi::kChipErase, kWholeChip, 1000000},
                {spi::kChipErase2, kWholeChip, 1000000}},
     .status = &kBp4Status},
};

constexpr size_t kProfileCount = sizeof(kProfiles) / sizeof(kProfiles[0]);

}  // namespace

const FlashProfile* DefaultFlashProfile() { return &kProfiles[0]; }

const FlashProfile* FindFlashProfile(const char* name) {
  if (name == nullptr) return nullptr;
  for (const FlashProfile& profile : kProfiles) {
    if (TextEqual(profile.name, name)) return &profile;
  }
  return nullptr;
}

size_t FlashProfileCount() { return kProfileCount; }

const FlashProfile* FlashProfileAt(size_t index) {
  return index < kProfileCount ? &kProfiles[index] : nullptr;
}

const char* FlashProfileName(const FlashProfile* profile) { return profile->name; }

uint32_t FlashProfileSize(const FlashProfile* profile) { return profile->size; }

// Bytes a four-byte 0x9F read returns, as the program would show them.
static uint8_t JedecByte(const FlashProfile& profile, uint32_t index) {
  return index < profile.id.jedec_length ? profile.id.jedec[index] : profile.id.jedec_fill;
}

void FormatFlashProfileLine(const FlashProfile* profile, char* buffer, size_t size) {
  TextLine line(buffer, size);
  line.Add(profile->name).PadTo(13);
  for (uint32_t i = 0; i < 4; ++i) {
    if (i != 0) line.Char(' ');
    line.Hex(JedecByte(*profile, i), 2);
  }
  line.Char(' ').Dec(profile->size / kKB, 5).Add(" KB  ").Add(profile->description);
}
