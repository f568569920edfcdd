// What each modelled flash part is, taken from public chip databases written
// by others (each row cites them) and from what the program must make of it:
// one row per part. The rows are the tests'
// oracle, so they are written here and never read from the program's traits
// table or the model's profile table. A new part gets one row here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "flash/flash_traits.h"

namespace simtest {

struct ChipErase {
  uint8_t opcode;
  uint32_t size;  // bytes one command clears
  uint32_t step;  // bytes between two commands
};

// What /PB does to the part, from the reference's status-bit layout and
// range decoding: the status byte that protects the lowest sector alone, or
// 0 where none is known or the protection is volatile (/PB refuses).
struct ChipProtect {
  uint8_t status;
  bool second_status;  // status register 2 read by 0x35 and written back
  const char* source;
};

struct ChipFacts {
  const char* name;                   // the model's profile name
  std::array<uint8_t, 4> jedec;       // answered to 0x9F
  std::array<uint8_t, 16> signature;  // answered to 0xAB and three dummy bytes
  uint32_t size_kb;
  bool size_from_id;       // the program tells the capacity from the ID bytes
  ChipErase block_erase;   // the whole-block path's erase
  ChipErase sector_erase;  // the area paths' erase
  ProgramKind program;
  bool write_status_enable;  // 0x50 goes with each write enable and status clear
  ChipProtect protect;       // what /PB writes
  const char* vendor;        // the vendor line shown, "" when none
  // Where the erase, program, enable and size facts come from: a public chip
  // database (FR flashrom, LX Linux spi-nor, QE QEMU; file and lines), or
  // "memory" where none states them and the datasheet was recalled.
  const char* source;

  // The part behind the ESMT ID that programs one byte per 0x02 command
  // (FR esmt.c 43): the program finds it out on the first page.
  bool BytePerProgram() const { return std::string(name) == "f25l008a"; }
  // A part that answers 0x9F with 0x00 is identified by its signature.
  bool BySignature() const { return jedec[0] == 0x00; }
  // The sixteen ID bytes identification keeps.
  std::array<uint8_t, 16> Id() const;
  // The smallest erase the update sends to this part.
  uint32_t EraseUnit() const;
  // The ID bytes as the program prints them, from the identification's log
  // (" ef 40 14 0", or the JEDEC zeros and then the signature) and for the
  // device line (the first four kept bytes).
  std::string IdLog() const;
  std::string DeviceLine() const;
};

// Every row, in no particular order.
const ChipFacts* ChipFactsBegin();
const ChipFacts* ChipFactsEnd();
struct ChipFactsRows {
  const ChipFacts* begin() const { return ChipFactsBegin(); }
  const ChipFacts* end() const { return ChipFactsEnd(); }
};
inline ChipFactsRows AllChipFacts() { return {}; }

// The row of a profile name, null when there is none.
const ChipFacts* FindChipFacts(const std::string& name);

// Bytes as the program prints them: lowercase hex, no padding, one blank
// between.
std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace simtest
