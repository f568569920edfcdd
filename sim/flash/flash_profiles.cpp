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
// {status register 2, meaning of 0x50, WEL enables 0x01, power-up SR1/SR2,
//  writable SR1/SR2, AAI bit, one-byte-write quirk,
//  protection {BP, TB, SEC, CMP, BP value protecting all (plain, with SEC),
//  BP 1 size, lock bit in SR1 (with WP# low), lock bit in SR2}}
// clang-format off

// W25Q/GD25Q: SRP0 SEC TB BP2-0 | CMP .. QE SRP1.
constexpr StatusLayout kWinbondStatus = {
    true, StatusArm::kVolatile, true, 0x00, 0x00, 0xFC, 0x43, 0, WinbondShortStatusWrite,
    {0x1C, 0x20, 0x40, 0x40, 5, 6, 64 * kKB, 0x80, 0x01}};
// The same without the volatile 0x50 (Adesto parts lack it).
constexpr StatusLayout kAdestoStatus = {
    true, StatusArm::kNone, true, 0x00, 0x00, 0xFC, 0x43, 0, WinbondShortStatusWrite,
    {0x1C, 0x20, 0x40, 0x40, 5, 6, 64 * kKB, 0x80, 0x01}};
// SST25VF080B: BPL AAI BP3-0; powers up with BP2-0 set, all protected.
constexpr StatusLayout kSst080Status = {
    false, StatusArm::kSstEwsr, true, 0x1C, 0x00, 0xBC, 0x00, 0x40, nullptr,
    {0x1C, 0, 0, 0, 5, 0, 64 * kKB, 0x80, 0}};
// SST25VF512A: BPL AAI .. BP1-0; only 0x50 enables a status write; powers
// up with BP1-0 set.
constexpr StatusLayout kSst512Status = {
    false, StatusArm::kSstEwsr, false, 0x0C, 0x00, 0x8C, 0x00, 0x40, nullptr,
    {0x0C, 0, 0, 0, 3, 0, 16 * kKB, 0x80, 0}};
// SRWD .. BP2-0 from the top, sixteenths of a 1 MB array.
constexpr StatusLayout kBp3Status = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0x9C, 0x00, 0, nullptr,
    {0x1C, 0, 0, 0, 5, 0, 64 * kKB, 0x80, 0}};
// Spansion FL-K: SRP TB BP2-0.
constexpr StatusLayout kTopBottomStatus = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0xBC, 0x00, 0, nullptr,
    {0x1C, 0x20, 0, 0, 5, 0, 64 * kKB, 0x80, 0}};
// ISSI: SRWD QE BP3-0.
constexpr StatusLayout kBp4Status = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0xBC, 0x00, 0, nullptr,
    {0x3C, 0, 0, 0, 5, 0, 64 * kKB, 0x80, 0}};
// Small Macronix part: SRWD .. BP1-0, a quarter, a half, all.
constexpr StatusLayout kBp2Status = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0x8C, 0x00, 0, nullptr,
    {0x0C, 0, 0, 0, 3, 0, 16 * kKB, 0x80, 0}};
// PMC 512 KB: 64 KB, 128 KB, 256 KB, all.
constexpr StatusLayout kPmcStatus = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0x9C, 0x00, 0, nullptr,
    {0x1C, 0, 0, 0, 4, 0, 64 * kKB, 0x80, 0}};
// The board maker's 256 KB parts: sixteenths; the AAI bit as on SST.
constexpr StatusLayout kMakerStatus = {
    false, StatusArm::kNone, true, 0x00, 0x00, 0x9C, 0x00, 0x40, nullptr,
    {0x1C, 0, 0, 0, 5, 0, 16 * kKB, 0x80, 0}};

// clang-format on
// --- id answers ---------------------------------------------------------------
// {JEDEC bytes, their count, fill after them, manufacturer and device of
//  0x90/0xAB, decodes 0x90, 0xAB answer, signature bytes}

constexpr IdAnswer Jedec(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t device) {
  return {{b0, b1, b2, 0}, 3, 0x00, b0, device, true, SignatureDeviceByte, nullptr};
}

// --- the table --------------------------------------------------------------
// Each row: name, description, size; ID answers; {page size, AAI opcode};
// typical {page, AAI command, status write} times in us; erases {opcode,
// size (0 = chip), typical time in us}; status layout. Times are for the
// part family named beside the row.
// clang-format off
constexpr FlashProfile kProfiles[] = {
    // W25Q80 class: 4 KB 45 ms, 32 KB 120 ms, 64 KB 150 ms, chip 2 s, page 0.7 ms, status 10 ms.
    {"w25q80", "Winbond 8 Mbit, SR2 via 0x35, SEC/TB/BP/CMP, 4/32/64 KB erase", 1 * kMB,
     Jedec(0xEF, 0x40, 0x14, 0x13), {256, 0}, {700, 0, 10000},
     {{0x20, 4 * kKB, 45000}, {0x52, 32 * kKB, 120000}, {0xD8, 64 * kKB, 150000},
      {0x60, 0, 2000000}, {0xC7, 0, 2000000}},
     &kWinbondStatus},
    // SST25VF080B; SST gives maxima only: erase 25 ms, chip 50 ms, byte or AAI word 10 us.
    {"sst25vf080b", "SST 8 Mbit, AAI word 0xAD, 0x50 before status writes, 0x02 one byte", 1 * kMB,
     {{0xBF, 0x25, 0x8E, 0}, 3, 0x00, 0xBF, 0x8E, true, SignatureAlternating, nullptr},
     {1, spi::kAaiWord}, {10, 10, 10},
     {{0x20, 4 * kKB, 25000}, {0x52, 32 * kKB, 25000}, {0xD8, 64 * kKB, 25000},
      {0x60, 0, 50000}, {0xC7, 0, 50000}},
     &kSst080Status},
    // SST25VF512A: no JEDEC ID, 0x9F reads 00; maxima: erase 25 ms, chip 100 ms, byte 20 us.
    {"sst25vf512a", "SST 512 Kbit, no JEDEC ID, AAI byte 0xAF, status write after 0x50 only",
     64 * kKB,
     {{0, 0, 0, 0}, 0, 0x00, 0xBF, 0x48, true, SignatureAlternating, nullptr},
     {1, spi::kAaiByte}, {20, 20, 20},
     {{0x20, 4 * kKB, 25000}, {0x52, 32 * kKB, 25000}, {0x60, 0, 100000}},
     &kSst512Status},
    // MX25L512 class: 4 KB 60 ms, 64 KB 0.7 s, chip 1 s, 32-byte page 0.6 ms, status 5 ms.
    {"mx25l512", "Macronix 512 Kbit, 32-byte program page", 64 * kKB,
     Jedec(0xC2, 0x20, 0x10, 0x05), {32, 0}, {600, 0, 5000},
     {{0x20, 4 * kKB, 60000}, {0xD8, 64 * kKB, 700000}, {0x60, 0, 1000000}, {0xC7, 0, 1000000}},
     &kBp2Status},
    // MX25L8005 class: 4 KB 60 ms, 64 KB 1 s, chip 8 s, page 1.4 ms, status 5 ms.
    {"mx25l8005", "Macronix 8 Mbit, 256-byte pages", 1 * kMB,
     Jedec(0xC2, 0x20, 0x14, 0x13), {256, 0}, {1400, 0, 5000},
     {{0x20, 4 * kKB, 60000}, {0xD8, 64 * kKB, 1000000}, {0x60, 0, 8000000}, {0xC7, 0, 8000000}},
     &kBp3Status},
    // M25P80: 64 KB sector 0.6 s, bulk 8 s, page 1.4 ms, status 5 ms. No 4 KB erase: 0x20 is
    // not decoded. 0x9F adds the CFD length 0x10; there is no 0x90.
    {"m25p80", "ST 8 Mbit, 64 KB sector erase 0xD8 only", 1 * kMB,
     {{0x20, 0x20, 0x14, 0x10}, 4, 0x00, 0x20, 0x13, false, SignatureDeviceByte, nullptr},
     {256, 0}, {1400, 0, 5000},
     {{0xD8, 64 * kKB, 600000}, {0xC7, 0, 8000000}},
     &kBp3Status},
    // The board maker's part, JEDEC form: 0x9F is not decoded and the bus floats high. Timed
    // as the SST parts it stands in for: 1 KB, 4 KB and 64 KB erase 25 ms, AAI word 10 us.
    {"xqr-a", "board maker's 2 Mbit, 0x9F reads FF, 1 KB erase 0xD7, AAI word 0xAD", 256 * kKB,
     {{0, 0, 0, 0}, 0, 0xFF, 0xFF, 0xFF, false, SignatureDeviceByte, nullptr},
     {256, spi::kAaiWord}, {700, 10, 10},
     {{0xD7, 1 * kKB, 25000}, {0x20, 4 * kKB, 25000}, {0xD8, 64 * kKB, 25000}, {0xC7, 0, 50000}},
     &kMakerStatus},
    // The board maker's part, signature form: 0x9F reads 00, 0xAB gives 16 bytes starting FF
    // and ending non-zero. Timed as above.
    {"xqr", "board maker's 2 Mbit, 0x9F reads 00, 16-byte 0xAB signature", 256 * kKB,
     {{0, 0, 0, 0}, 0, 0x00, 0xFF, 0x58, false, SignatureSixteen, kMakerSignature},
     {256, spi::kAaiWord}, {700, 10, 10},
     {{0xD7, 1 * kKB, 25000}, {0x20, 4 * kKB, 25000}, {0xD8, 64 * kKB, 25000}, {0xC7, 0, 50000}},
     &kMakerStatus},
    // AT25SF081 class: 4 KB 60 ms, 32 KB 250 ms, 64 KB 400 ms, chip 5 s, page 0.4 ms, status 10 ms.
    {"at25sf081", "Atmel/Adesto 8 Mbit, SR2, SEC/TB/BP/CMP", 1 * kMB,
     Jedec(0x1F, 0x85, 0x01, 0x13), {256, 0}, {400, 0, 10000},
     {{0x20, 4 * kKB, 60000}, {0x52, 32 * kKB, 250000}, {0xD8, 64 * kKB, 400000},
      {0x60, 0, 5000000}, {0xC7, 0, 5000000}},
     &kAdestoStatus},
    // S25FL208K class: 4 KB 50 ms, 64 KB 500 ms, chip 7 s, page 0.7 ms, status 10 ms.
    {"s25fl208k", "Spansion 8 Mbit, TB/BP protection", 1 * kMB,
     Jedec(0x01, 0x40, 0x14, 0x13), {256, 0}, {700, 0, 10000},
     {{0x20, 4 * kKB, 50000}, {0xD8, 64 * kKB, 500000}, {0x60, 0, 7000000}, {0xC7, 0, 7000000}},
     &kTopBottomStatus},
    // A25L080 class: 4 KB 60 ms, 64 KB 0.6 s, chip 8 s, page 1.5 ms, status 5 ms.
    {"a25l080", "AMIC 8 Mbit", 1 * kMB,
     Jedec(0x37, 0x30, 0x14, 0x13), {256, 0}, {1500, 0, 5000},
     {{0x20, 4 * kKB, 60000}, {0xD8, 64 * kKB, 600000}, {0xC7, 0, 8000000}},
     &kBp3Status},
    // EN25F80 class: 4 KB 90 ms, 64 KB 0.5 s, chip 8 s, page 1.3 ms, status 10 ms.
    {"en25f80", "EON 8 Mbit", 1 * kMB,
     Jedec(0x1C, 0x31, 0x14, 0x13), {256, 0}, {1300, 0, 10000},
     {{0x20, 4 * kKB, 90000}, {0xD8, 64 * kKB, 500000}, {0x60, 0, 8000000}, {0xC7, 0, 8000000}},
     &kBp3Status},
    // F25L08PA class: 4 KB 40 ms, 64 KB 0.5 s, chip 8 s, page 1.5 ms, status 10 ms.
    {"f25l08pa", "ESMT 8 Mbit, 256-byte pages", 1 * kMB,
     Jedec(0x8C, 0x20, 0x14, 0x13), {256, 0}, {1500, 0, 10000},
     {{0x20, 4 * kKB, 40000}, {0xD8, 64 * kKB, 500000}, {0x60, 0, 8000000}, {0xC7, 0, 8000000}},
     &kBp3Status},
    // GD25Q80 class: 4 KB 50 ms, 32 KB 150 ms, 64 KB 250 ms, chip 3 s, page 0.7 ms, status 5 ms.
    {"gd25q80", "GigaDevice 8 Mbit, SR2, SEC/TB/BP/CMP", 1 * kMB,
     Jedec(0xC8, 0x40, 0x14, 0x13), {256, 0}, {700, 0, 5000},
     {{0x20, 4 * kKB, 50000}, {0x52, 32 * kKB, 150000}, {0xD8, 64 * kKB, 250000},
      {0x60, 0, 3000000}, {0xC7, 0, 3000000}},
     &kWinbondStatus},
    // Pm25LV040 class: 4 KB 40 ms (0x20 or 0xD7), 64 KB 0.5 s, chip 2 s, page 1.5 ms, status 10 ms.
    // 0x9F starts with the continuation code 7F; 0x90/0xAB give PMC's own 9D.
    {"pm25lv040", "PMC 4 Mbit, 4 KB erase by 0x20 or 0xD7", 512 * kKB,
     {{0x7F, 0x9D, 0x7E, 0}, 3, 0x00, 0x9D, 0x7E, true, SignatureDeviceByte, nullptr},
     {256, 0}, {1500, 0, 10000},
     {{0x20, 4 * kKB, 40000}, {0xD7, 4 * kKB, 40000}, {0xD8, 64 * kKB, 500000},
      {0xC7, 0, 2000000}},
     &kPmcStatus},
    // IS25LP080D class: 4 KB 70 ms, 32 KB 140 ms, 64 KB 170 ms, chip 1 s, page 0.2 ms, status 2 ms.
    // Its maker byte 9D has no row in the program's vendor table.
    {"is25lp080d", "ISSI 8 Mbit, BP3-0", 1 * kMB,
     Jedec(0x9D, 0x60, 0x14, 0x13), {256, 0}, {200, 0, 2000},
     {{0x20, 4 * kKB, 70000}, {0x52, 32 * kKB, 140000}, {0xD8, 64 * kKB, 170000},
      {0x60, 0, 1000000}, {0xC7, 0, 1000000}},
     &kBp4Status},
};
// clang-format on

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
