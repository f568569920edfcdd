// The chip table: one row per modelled part, and the few vendor quirks as
// short functions the rows name. Command sets, erase sizes, program methods
// and status layouts follow the public chip databases (flashrom's chip
// table, the Linux spi-nor tables, QEMU's flash model); a row says where a
// fact is taken from the datasheet from memory because none of them states
// it. An opcode a part lacks is left out, so the model ignores it as the
// silicon does. Busy times are the typical figures of the
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
                // SEC: 4 KB << (BP - 1) up to 32 KB (flashrom
                // writeprotect_ranges.c 57-63); all BP bits set protect the
                // whole part (the datasheet, from memory).
                .all_from_sec = 7,
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
// SST25VF064C: BPL . BP3-0 (Linux: 4-bit BP, volatile). All protected at
// power-up is the datasheet's value from memory (Linux says "usually").
constexpr StatusLayout kSst064Status = Plain(
    {.power_up = 0x3C, .writable = 0xBC, .aai_mask = 0, .protect = TopBlocks(0x3C, 8, 64 * kKB)},
    StatusArm::kSstEwsr);
// F25L008A: "WRSR either" (flashrom): 0x50 or a write enable before 0x01.
// The layout is not stated anywhere; BP2-0 from the top, from memory.
constexpr StatusLayout kEsmtByteStatus = Plain(
    {.power_up = 0x00, .writable = 0x9C, .aai_mask = 0, .protect = TopBlocks(0x1C, 5, 64 * kKB)},
    StatusArm::kSstEwsr);
// SST25VF512A: BPL AAI .. BP1-0; only 0x50 enables a status write; powers
// up with BP1-0 set.
constexpr StatusLayout kSst512Status = Plain(
    {.power_up = 0x0C, .writable = 0x8C, .aai_mask = 0x40, .protect = TopBlocks(0x0C, 3, 16 * kKB)},
    StatusArm::kSstEwsr, false);
// SRWD .. BP2-0 from the top, sixteenths of a 1 MB array.
constexpr StatusLayout kBp3Status = Plain(
    {.power_up = 0x00, .writable = 0x9C, .aai_mask = 0, .protect = TopBlocks(0x1C, 5, 64 * kKB)});
// W25X: SRP . TB BP2-0, no SEC, no second register (flashrom's reg_bits).
constexpr StatusLayout kTopBottomStatus = [] {
  StatusLayout layout = Plain(
      {.power_up = 0x00, .writable = 0xBC, .aai_mask = 0, .protect = TopBlocks(0x1C, 5, 64 * kKB)});
  layout.protect.tb_mask = 0x20;
  return layout;
}();
// SRWD . BP3-0 (flashrom's BP3_SRWD unlock); ISSI's bit 6 is QE (QEMU).
// Protection from the top in 64 KB steps, as Linux's generic BP model.
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

// PMC's continuation code leads 0x9F (flashrom spi25.c 118-126).
constexpr IdAnswer kPmcId = {.jedec = {0x7F, 0x9D, 0x7E, 0},
                             .jedec_length = 3,
                             .jedec_fill = 0x00,
                             .manufacturer = 0x9D,
                             .device = 0x7E,
                             .has_mfr_device_id = true,
                             .signature = SignatureDeviceByte,
                             .signature_bytes = nullptr};
// SST answers 0x90 and 0xAB with maker and device byte in turn.
constexpr IdAnswer SstJedec(uint8_t capacity) {
  return {.jedec = {0xBF, 0x25, capacity, 0},
          .jedec_length = 3,
          .jedec_fill = 0x00,
          .manufacturer = 0xBF,
          .device = capacity,
          .has_mfr_device_id = true,
          .signature = SignatureAlternating,
          .signature_bytes = nullptr};
}

// --- the table --------------------------------------------------------------
// Times are typical figures in us for the part family named beside the row;
// erases are {opcode, size, time}.
constexpr FlashProfile kProfiles[] = {
    // W25Q80 class: 4 KB 45 ms, 32 KB 120 ms, 64 KB 150 ms, chip 2 s, page 0.7 ms, status 10 ms.
    // Commands and SR1/SR2 bits: flashrom winbond.c 1821-1869. The volatile 0x50 and the
    // non-volatile SR2 bits are the datasheet's, from memory.
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
    // flashrom sst.c 447-472, Linux sst.c 138-145 (volatile protection).
    {.name = "sst25vf080b",
     .description = "SST 8 Mbit, AAI word 0xAD, 0x50 before status writes, 0x02 one byte",
     .size = 1 * kMB,
     .id = SstJedec(0x8E),
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
     // flashrom sst.c 491-507: 0xD8 erases 32 KB here, 0x60 and 0xC7 the 64 KB.
     .erases = {{spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase32K, 32 * kKB, 25000},
                {spi::kErase64K, 32 * kKB, 25000},
                {spi::kChipErase, kWholeChip, 100000},
                {spi::kChipErase2, kWholeChip, 100000}},
     .status = &kSst512Status},
    // MX25L512 class: 4 KB 60 ms, 64 KB 0.7 s, chip 1 s, page 0.6 ms, status 5 ms.
    // flashrom macronix.c 1101-1140: 256-byte pages, 0x52 erases 64 KB like 0xD8.
    {.name = "mx25l512",
     .description = "Macronix 512 Kbit, 0x52 and 0xD8 both erase 64 KB",
     .size = 64 * kKB,
     .id = Jedec(0xC2, 0x20, 0x10, 0x05),
     .program = Pages(256),
     .timing = {.page_us = 600, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase32K, 64 * kKB, 700000},
                {spi::kErase64K, 64 * kKB, 700000},
                {spi::kChipErase, kWholeChip, 1000000},
                {spi::kChipErase2, kWholeChip, 1000000}},
     .status = &kBp2Status},
    // MX25L8005 class: 4 KB 60 ms, 64 KB 1 s, chip 8 s, page 1.4 ms, status 5 ms.
    // flashrom macronix.c 1490-1529: 0x52 erases 64 KB.
    {.name = "mx25l8005",
     .description = "Macronix 8 Mbit, 256-byte pages",
     .size = 1 * kMB,
     .id = Jedec(0xC2, 0x20, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1400, .aai_us = 0, .status_us = 5000},
     .erases = {{spi::kErase4K, 4 * kKB, 60000},
                {spi::kErase32K, 64 * kKB, 1000000},
                {spi::kErase64K, 64 * kKB, 1000000},
                {spi::kChipErase, kWholeChip, 8000000},
                {spi::kChipErase2, kWholeChip, 8000000}},
     .status = &kBp3Status},
    // M25P80: 64 KB sector 0.6 s, bulk 8 s, page 1.4 ms, status 5 ms. No 4 KB erase: 0x20 is
    // not decoded (flashrom micron_numonyx_st.c 366-393). The fourth 0x9F byte (CFD length
    // 0x10) and the missing 0x90 are the datasheet's, from memory.
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
     .status = &kBp4Status},
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
    // Commands: flashrom atmel.c 823-858. The status layout is not stated there: the
    // datasheet's SEC/TB/BP/CMP and SR2, from memory.
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
    // flashrom spansion.c 722-755: no 0x52, SRWD and BP3-0.
    {.name = "s25fl208k",
     .description = "Spansion 8 Mbit, BP3-0 protection",
     .size = 1 * kMB,
     .id = Jedec(0x01, 0x40, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 700, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 50000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase, kWholeChip, 7000000},
                {spi::kChipErase2, kWholeChip, 7000000}},
     .status = &kBp4Status},
    // A25L080 class: 4 KB 60 ms, 64 KB 0.6 s, chip 8 s, page 1.5 ms, status 5 ms.
    // flashrom amic.c 248-277: no 0x52, no 0x60; BP2_SRWD.
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
    // flashrom eon.c 827-860; the BP2-0 layout is the datasheet's, from memory.
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
    // No public database knows this part: it answers the F25L008A's ID and programs by
    // pages, all from the datasheet, from memory.
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
    // Commands: flashrom gigadevice.c 1247-1284. SEC/TB/CMP and SR2 as on W25Q80 are the
    // datasheet's, from memory (flashrom names bits 6-2 BP4-0).
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
    // Pm25LV040 class: 4 KB 40 ms, 64 KB 0.5 s, chip 2 s, page 1.5 ms, status 10 ms.
    // flashrom pmc.c 532-562: 4 KB erase by 0xD7 only, no 0x20 and no 0x60. 0x9F starts
    // with the continuation code 7F; 0x90/0xAB give PMC's own 9D (datasheet, from memory).
    {.name = "pm25lv040",
     .description = "PMC 4 Mbit, 4 KB erase by 0xD7 only",
     .size = 512 * kKB,
     .id = kPmcId,
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kSectorErase, 4 * kKB, 40000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase2, kWholeChip, 2000000}},
     .status = &kPmcStatus},
    // Pm25LD040, the same ID: flashrom pmc.c 89-125, 0x20 and 0xD7 both erase 4 KB.
    {.name = "pm25ld040",
     .description = "PMC 4 Mbit, 4 KB erase by 0x20 or 0xD7",
     .size = 512 * kKB,
     .id = kPmcId,
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 40000},
                {spi::kSectorErase, 4 * kKB, 40000},
                {spi::kErase64K, 64 * kKB, 500000},
                {spi::kChipErase, kWholeChip, 2000000},
                {spi::kChipErase2, kWholeChip, 2000000}},
     .status = &kPmcStatus},
    // IS25LP080D class: 4 KB 70 ms, 32 KB 140 ms, 64 KB 170 ms, chip 1 s, page 0.2 ms, status 2 ms.
    // Its maker byte 9D has no row in the program's vendor table. Linux and QEMU give 0x20,
    // 0xD8, 0x60, 0xC7; 0x52 is the datasheet's, from memory.
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
    // W25X80: flashrom winbond.c 2300-2327: 0x20, 0xD8, 0xC7 only; SRP, TB, BP2-0, no SEC,
    // no SR2, write enable by 0x06. 0x90/0xAB device byte 0x13 from memory.
    {.name = "w25x80",
     .description = "Winbond 8 Mbit 25X, TB/BP, no SEC, no SR2",
     .size = 1 * kMB,
     .id = Jedec(0xEF, 0x30, 0x14, 0x13),
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 15000},
     .erases = {{spi::kErase4K, 4 * kKB, 150000},
                {spi::kErase64K, 64 * kKB, 1000000},
                {spi::kChipErase2, kWholeChip, 10000000}},
     .status = &kTopBottomStatus},
    // SST25VF064C: flashrom sst.c 409-434, Linux sst.c 125-131: 256-byte pages, no AAI,
    // EWSR, 4-bit BP, volatile. Maxima: erase 25 ms, chip 50 ms, page 1.5 ms.
    {.name = "sst25vf064c",
     .description = "SST 64 Mbit, 256-byte pages, 0x50 before status writes",
     .size = 8 * kMB,
     .id = SstJedec(0x4B),
     .program = Pages(256),
     .timing = {.page_us = 1500, .aai_us = 0, .status_us = 10},
     .erases = {{spi::kErase4K, 4 * kKB, 25000},
                {spi::kErase32K, 32 * kKB, 25000},
                {spi::kErase64K, 64 * kKB, 25000},
                {spi::kChipErase, kWholeChip, 50000},
                {spi::kChipErase2, kWholeChip, 50000}},
     .status = &kSst064Status},
    // F25L008A: flashrom esmt.c 13-46: one byte per 0x02, 0x20, 0xD8, 0x60, 0xC7, 0x50 or
    // 0x06 before 0x01. Times from the datasheet, from memory: 4 KB 90 ms, 64 KB 1 s, byte
    // 10 us.
    {.name = "f25l008a",
     .description = "ESMT 8 Mbit, one byte per 0x02, the F25L08PA's ID",
     .size = 1 * kMB,
     .id = Jedec(0x8C, 0x20, 0x14, 0x13),
     .program = {.page_size = 1, .aai_opcode = 0},
     .timing = {.page_us = 10, .aai_us = 0, .status_us = 10000},
     .erases = {{spi::kErase4K, 4 * kKB, 90000},
                {spi::kErase64K, 64 * kKB, 1000000},
                {spi::kChipErase, kWholeChip, 2000000},
                {spi::kChipErase2, kWholeChip, 2000000}},
     .status = &kEsmtByteStatus},
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
