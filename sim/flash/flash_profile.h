// One row of the flash chip table, and the small set of behaviours a row can
// name. The engine (flash_chip.cpp) interprets rows; it never tests a chip's
// name or vendor.
#pragma once

#include <stddef.h>
#include <stdint.h>

// SPI opcodes the modelled parts decode. Where a byte means different things
// on different parts, the comment says which.
namespace spi {
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kPageProgram = 0x02;  // one byte only on SST parts
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWriteDisable = 0x04;  // also ends an SST auto-increment sequence
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kFastRead = 0x0B;
constexpr uint8_t kErase4K = 0x20;  // not an erase on ST M25P parts
constexpr uint8_t kReadStatus2 = 0x35;
// SST: enable-write-status-register. Winbond and GigaDevice: write enable
// for the volatile status bits (no WEL needed, no write cycle).
constexpr uint8_t kStatusWriteArm = 0x50;
constexpr uint8_t kErase32K = 0x52;
constexpr uint8_t kChipErase = 0x60;
constexpr uint8_t kMfrDeviceId = 0x90;
constexpr uint8_t kJedecId = 0x9F;
constexpr uint8_t kSignature = 0xAB;
constexpr uint8_t kAaiWord = 0xAD;
constexpr uint8_t kAaiByte = 0xAF;
constexpr uint8_t kChipErase2 = 0xC7;
// Sector erase: 1 KB on the board maker's parts, 4 KB on PMC parts.
constexpr uint8_t kSectorErase = 0xD7;
constexpr uint8_t kErase64K = 0xD8;
}  // namespace spi

// What a decoded opcode does on a given chip.
enum class SpiKind : uint8_t {
  kNone,  // not decoded: the chip stays silent and does nothing
  kRead,
  kFastRead,
  kJedecId,
  kSignature,
  kMfrDeviceId,
  kReadStatus,
  kReadStatus2,
  kWriteEnable,
  kWriteDisable,
  kStatusWriteArm,
  kWriteStatus,
  kPageProgram,
  kAaiProgram,
  kErase,
  kChipErase,
};

// What 0x50 means on the part.
enum class StatusArm : uint8_t {
  kNone,      // not decoded
  kSstEwsr,   // arms the next status write, non-volatile write cycle
  kVolatile,  // arms the next status write, applied at once without WEL
};

struct EraseOp {
  uint8_t opcode;
  uint32_t size;  // bytes; 0 = the whole array
  uint32_t time_us;
};

// Status-register layout for block protection. A BP value v (v > 0) protects
// unit << (v - 1) bytes at the top of the array (the bottom with TB set),
// everything from all_from on. With SEC set the unit is 4 KB and the range
// stops at 32 KB until all_from_sec. CMP (status register 2) protects the
// complement instead.
struct ProtectLayout {
  uint8_t bp_mask;  // status register 1
  uint8_t tb_mask;
  uint8_t sec_mask;
  uint8_t cmp_mask;  // status register 2
  uint8_t all_from;
  uint8_t all_from_sec;
  uint32_t unit;
  // Status-register lock: SRP0/SRWD/BPL in register 1 locks while the WP#
  // pin is low; SRP1 in register 2 locks regardless (power-supply lock-down).
  uint8_t lock_mask;
  uint8_t lock2_mask;
};

struct FlashProfile;

constexpr size_t kMaxEraseOps = 6;
constexpr size_t kSignatureLength = 16;

// What the part answers to its identification opcodes.
struct IdAnswer {
  // 0x9F: jedec_length bytes, then jedec_fill for every later read.
  uint8_t jedec[4];
  uint8_t jedec_length;
  uint8_t jedec_fill;
  // Manufacturer and device bytes of 0x90 and 0xAB.
  uint8_t manufacturer;
  uint8_t device;
  bool has_mfr_device_id;  // decodes 0x90
  // Byte number `index` of the 0xAB answer (after the three dummy bytes),
  // `address` being the 24 bits shifted as dummies.
  uint8_t (*signature)(const FlashProfile& profile, uint32_t index, uint32_t address);
  const uint8_t* signature_bytes;  // kSignatureLength bytes, for the hooks that use them
};

struct ProgramMethod {
  uint16_t page_size;  // 0x02 latch: 256, 32 on small Macronix parts, 1 on SST
  uint8_t aai_opcode;  // 0 = none, 0xAF one byte per command, 0xAD two
};

// Typical write-cycle times, microseconds.
struct Timing {
  uint32_t page_us;
  uint32_t aai_us;  // per auto-increment command
  uint32_t status_us;
};

// Status registers: what they hold at power-up, what 0x01 may change, how a
// write is enabled, and how the bits protect the array.
struct StatusLayout {
  bool has_status2;  // 0x35, and two bytes after 0x01
  StatusArm arm;
  bool wel_enables_write;
  uint8_t power_up1;
  uint8_t power_up2;
  uint8_t writable1;
  uint8_t writable2;
  uint8_t aai_mask;  // bit shown while auto-increment is active
  // Bits a status write keeps across power cycles (block protection, its
  // lock, top/bottom, sector, complement); the others come up as power_up.
  uint8_t nonvolatile1;
  uint8_t nonvolatile2;
  // Status register 2 after a one-byte 0x01 on a part that has two; null
  // leaves it unchanged.
  uint8_t (*short_write)(uint8_t status2);
  ProtectLayout protect;
};

struct FlashProfile {
  const char* name;
  const char* description;
  uint32_t size;  // bytes, a power of two
  IdAnswer id;
  ProgramMethod program;
  Timing timing;
  EraseOp erases[kMaxEraseOps];
  const StatusLayout* status;
};

// First byte (inclusive) and end (exclusive) of the protected range; empty
// when first == end.
struct ProtectedRange {
  uint32_t first;
  uint32_t end;
};

ProtectedRange ProtectedRangeOf(const FlashProfile& profile, uint8_t status1, uint8_t status2);
