#include "support/chip_facts.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace simtest {

namespace {

// Signature answers: the device byte over and over, or maker and device
// byte in turn.
constexpr std::array<uint8_t, 16> Repeat(uint8_t byte) {
  std::array<uint8_t, 16> bytes{};
  for (uint8_t& b : bytes) b = byte;
  return bytes;
}
constexpr std::array<uint8_t, 16> Alternate(uint8_t first, uint8_t second) {
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = i % 2 == 0 ? first : second;
  return bytes;
}

constexpr ChipErase k4K = {0x20, 0x1000, 0x1000};
// The 64 KB block erase of a part with no 4 KB erase, still sent every 4 KB,
// so that the erase stops where the image stops.
constexpr ChipErase k64K = {0xD8, 0x10000, 0x1000};
constexpr ChipErase k1K = {0xD7, 0x400, 0x400};
constexpr ChipErase kPmc = {0xD7, 0x1000, 0x1000};
constexpr auto kPages = ProgramKind::kPages;
constexpr auto kChunks32 = ProgramKind::kChunks32;
constexpr auto kAaiByte = ProgramKind::kAaiByte;
constexpr auto kAaiWord = ProgramKind::kAaiWord;
constexpr auto kTwoMethods = ProgramKind::kPagesOrBytes;
// SEC, TB and BP0 protect the lowest 4 KB; TB and BP0 the lowest 64 KB
// where there is no SEC; the others have no known bottom protection, or a
// volatile one.
constexpr ChipProtect kLowest4K = {0x64, true, "FR winbond.c 1859-1867, decoder 57-63, 86-98"};
constexpr ChipProtect kLowest64K = {0x24, false, "FR winbond.c 2322-2327"};
constexpr ChipProtect kGdLowest4K = {0x64, true, "memory (FR names bits 6-2 BP4-0 only)"};
constexpr ChipProtect kVolatileTop = {0, false, "LX sst.c SPI_NOR_SWP_IS_VOLATILE, no TB"};
constexpr ChipProtect kNoneKnown = {0, false, "no TB/SEC stated"};
// W25Q80 and most 8 Mbit parts answer 0xAB with device byte 0x13; SST parts
// alternate maker and device byte; the maker's signature part has sixteen
// bytes of its own.
constexpr std::array<uint8_t, 16> kSig13 = Repeat(0x13);
constexpr std::array<uint8_t, 16> kSig05 = Repeat(0x05);
constexpr std::array<uint8_t, 16> kSig7E = Repeat(0x7E);
constexpr std::array<uint8_t, 16> kSigFF = Repeat(0xFF);
constexpr std::array<uint8_t, 16> kSigBF8E = Alternate(0xBF, 0x8E);
constexpr std::array<uint8_t, 16> kSigBF48 = Alternate(0xBF, 0x48);
constexpr std::array<uint8_t, 16> kSigBF4B = Alternate(0xBF, 0x4B);
constexpr std::array<uint8_t, 16> kSigXqr = {0xFF, 0x58, 0x51, 0x52, 0x04, 0x00, 0x10, 0x00,
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};

// clang-format off
const ChipFacts kRows[] = {
    // name        JEDEC ID                  0xAB        KB    size   block sector program
    //   0x50 with each clear, /PB, vendor line, source
    // Winbond W25Q80: SEC, TB and BP0 lock the lowest 4 KB; SR2 read by 0x35.
    {"w25q80",      {0xEF, 0x40, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kLowest4K,     " SPI Vendor       : Winbond \n", "FR winbond.c 1821-1869"},
    {"w25x80",      {0xEF, 0x30, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kLowest64K,    " SPI Vendor       : Winbond \n", "FR winbond.c 2300-2327"},
    // SST25VF080B: AAI word programming, EWSR (0x50) before status writes.
    {"sst25vf080b", {0xBF, 0x25, 0x8E, 0x00}, kSigBF8E,   1024, true,  k4K,  k4K,  kAaiWord,
         true,  kVolatileTop,  " SPI Vendor       : SST \n", "FR sst.c 447-472"},
    // SST25VF064C: 256-byte pages, no AAI.
    {"sst25vf064c", {0xBF, 0x25, 0x4B, 0x00}, kSigBF4B,   8192, true,  k4K,  k4K,  kPages,
         true,  kVolatileTop,  " SPI Vendor       : SST \n", "FR sst.c 409-434"},
    // SST25VF512A: no JEDEC ID; AAI byte programming; signature device 0x48.
    {"sst25vf512a", {0x00, 0x00, 0x00, 0x00}, kSigBF48,   64,   true,  k4K,  k4K,  kAaiByte,
         true,  kNoneKnown,    " SPI Vendor       : SST \n", "FR sst.c 477-513"},
    // MX25L512: the program sends 32 bytes per command to this ID.
    {"mx25l512",    {0xC2, 0x20, 0x10, 0x00}, kSig05,     64,   true,  k4K,  k4K,  kChunks32,
         false, kNoneKnown,    " SPI Vendor       : MXIC \n", "FR macronix.c 1101-1140"},
    {"mx25l8005",   {0xC2, 0x20, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kNoneKnown,    " SPI Vendor       : MXIC \n", "FR macronix.c 1490-1529"},
    // M25P80: a fourth ID byte, and 64 KB sector erase only.
    {"m25p80",      {0x20, 0x20, 0x14, 0x10}, kSig13,     1024, true,  k64K, k64K, kPages,
         false, kNoneKnown,    " SPI Vendor       : ST \n", "FR micron_numonyx_st.c 366-393"},
    // The maker's "A type": answers all 0xFF, 1 KB erase by 0xD7, AAI word.
    {"xqr-a",       {0xFF, 0xFF, 0xFF, 0xFF}, kSigFF,     256,  false, k1K,  k4K,  kAaiWord,
         false, kNoneKnown,    " SPI Vendor       : XQR A type\n", "memory (the maker's part)"},
    // The maker's 2 Mbit signature part.
    {"xqr",         {0x00, 0x00, 0x00, 0x00}, kSigXqr,    256,  true,  k1K,  k4K,  kAaiWord,
         false, kNoneKnown,    " SPI Vendor       : XQR \n", "memory (the maker's part)"},
    {"at25sf081",   {0x1F, 0x85, 0x01, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kNoneKnown,    " SPI Vendor       : Atmel \n", "FR atmel.c 823-858"},
    {"s25fl208k",   {0x01, 0x40, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kNoneKnown,    " SPI Vendor       : Spansion \n", "FR spansion.c 722-755"},
    {"a25l080",     {0x37, 0x30, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kNoneKnown,    " SPI Vendor       : AMIC \n", "FR amic.c 248-277"},
    {"en25f80",     {0x1C, 0x31, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kNoneKnown,    " SPI Vendor       : EON \n", "FR eon.c 827-860"},
    // One ID, two parts: the first page read back tells the methods apart.
    {"f25l008a",    {0x8C, 0x20, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kTwoMethods,
         false, kNoneKnown,    " SPI Vendor       : ESMT \n", "FR esmt.c 13-46"},
    {"f25l08pa",    {0x8C, 0x20, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kTwoMethods,
         false, kNoneKnown,    " SPI Vendor       : ESMT \n", "memory (in no database)"},
    {"gd25q80",     {0xC8, 0x40, 0x14, 0x00}, kSig13,     1024, true,  k4K,  k4K,  kPages,
         false, kGdLowest4K,   " SPI Vendor       : GigaDevice \n", "FR gigadevice.c 1247-1284"},
    // PMC: 0xD7 is the 4 KB erase both parts behind 7F 9D 7E take.
    {"pm25lv040",   {0x7F, 0x9D, 0x7E, 0x00}, kSig7E,     512,  true,  kPmc, kPmc, kPages,
         false, kNoneKnown,    " SPI Vendor       : PMCDevice \n", "FR pmc.c 532-562"},
    {"pm25ld040",   {0x7F, 0x9D, 0x7E, 0x00}, kSig7E,     512,  true,  kPmc, kPmc, kPages,
         false, kNoneKnown,    " SPI Vendor       : PMCDevice \n", "FR pmc.c 89-125"},
    // ISSI is no vendor the program knows: no line, no size, the common erase.
    {"is25lp080d",  {0x9D, 0x60, 0x14, 0x00}, kSig13,     1024, false, k4K,  k4K,  kPages,
         false, kNoneKnown,    "", "LX issi.c is25lp080d; QE 215"},
};
// clang-format on

}  // namespace

std::array<uint8_t, 16> ChipFacts::Id() const {
  if (BySignature()) return signature;
  std::array<uint8_t, 16> id{};
  std::copy(jedec.begin(), jedec.end(), id.begin());
  return id;
}

uint32_t ChipFacts::EraseUnit() const { return std::min(block_erase.size, sector_erase.size); }

std::string ChipFacts::IdLog() const {
  // Appended piece by piece: GCC 12 warns (-Wrestrict) on "literal" + string
  // in optimised builds.
  std::string log = " ";
  log += HexBytes(jedec.data(), jedec.size());
  if (BySignature()) {
    log += "\n\n ";
    log += HexBytes(signature.data(), signature.size());
    log += "\n\n";
  }
  return log;
}

std::string ChipFacts::DeviceLine() const { return HexBytes(Id().data(), 4); }

const ChipFacts* ChipFactsBegin() { return std::begin(kRows); }
const ChipFacts* ChipFactsEnd() { return std::end(kRows); }

const ChipFacts* FindChipFacts(const std::string& name) {
  for (const ChipFacts& row : kRows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%x", bytes[i]);
    if (i != 0) text += ' ';
    text += hex;
  }
  return text;
}

}  // namespace simtest
