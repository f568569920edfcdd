// A modelled SPI NOR flash chip, driven through SpiDevice by the EC's follow
// mode. Its behaviour comes from a profile (one row of the chip table); the
// engine interprets the profile.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/sim_types.h"

struct FlashProfile;           // one row of the chip table (flash_profiles.cpp)
enum class SpiKind : uint8_t;  // what an opcode does on a chip (flash_profile.h)

// The ways a chip can misbehave; their names and arguments are in the fault
// table (sim/faults.cpp).
enum class ChipFault : uint8_t {
  kNone,
  kBusyStuck,  // the next write cycle never ends
  kWelNeverSets,
  kWelNeverClears,
  kWpLow,            // the WP# pin held low, so the status lock bits take effect
  kBitStuck,         // at an address: a bit a program should clear stays 1
  kBitStuckRandom,   // the same at an address a seed picks
  kEraseLeaves,      // at an address: an erase leaves 0xFE there
  kBitStuckOnce,     // kBitStuck for the first program that clears a bit there
  kEraseLeavesOnce,  // kEraseLeaves for the first erase that covers the address
};

const FlashProfile* DefaultFlashProfile();
const FlashProfile* FindFlashProfile(const char* name);  // null when unknown
size_t FlashProfileCount();
const FlashProfile* FlashProfileAt(size_t index);
const char* FlashProfileName(const FlashProfile* profile);
uint32_t FlashProfileSize(const FlashProfile* profile);  // bytes
// One --list-chips line without line end: name, the bytes answered to 0x9F,
// size in KB, a short description.
void FormatFlashProfileLine(const FlashProfile* profile, char* buffer, size_t size);

class FlashChip final : public SpiDevice {
 public:
  // contents: FlashProfileSize(profile) bytes owned by the caller, used in
  // place. trace may be null. counters and clock must outlive the chip.
  void Init(const FlashProfile* profile, uint8_t* contents, SimClock* clock, SimCounters* counters,
            const TraceSink* trace);

  void Select();
  void Deselect();
  void Write(uint8_t byte);
  uint8_t Read();

  // Observation for tests and the harness.
  uint8_t StatusRegister() const;
  bool Busy() const;
  const FlashProfile* Profile() const { return profile_; }
  uint8_t StatusRegister2() const { return status2_; }

  // The non-volatile status bits, as the last non-volatile status write left
  // them, and as a new run of the same chip takes them over after Init.
  uint8_t KeptStatus1() const { return kept1_; }
  uint8_t KeptStatus2() const { return kept2_; }
  void RestoreStatus(uint8_t status1, uint8_t status2);

  // Time a poll of a busy part takes when no bus time passed since the last
  // one (one SPI status read through the EC), so that a busy part finishes
  // at zero bus time too.
  static constexpr uint64_t kMinPollNs = 1000;

  // Fault injection, after Init: a chip kind of the fault table, its
  // argument in arg or after a ':' in kind. False for a kind that is not the
  // chip's, or a bad or missing argument.
  bool ApplyFault(const char* kind, const char* arg);
  // The same with the argument already read. False for an address outside
  // the array or more addresses than the chip keeps.
  bool Inject(ChipFault fault, uint64_t argument);
  // Address of the first bit-stuck fault, or UINT32_MAX when there is none.
  uint32_t StuckBitAddress() const;

 private:
  static constexpr unsigned kMaxFaultAddresses = 4;
  static constexpr uint8_t kWip = 0x01;
  static constexpr uint8_t kWel = 0x02;
  static constexpr uint8_t kIdleBus = 0xFF;  // MOSI while reading, MISO while the chip is silent
  static constexpr uint8_t kAddressBytes = 3;

  // The bus and the decode (flash_chip.cpp).
  void Decode(uint8_t opcode);
  void Shift(uint8_t byte);
  uint8_t Output();
  void Execute();
  void EmitTrace() const;
  // Status register, write cycle and protection (flash_status.cpp).
  void Refresh();
  void StartWriteCycle(uint32_t time_us, bool clears_wel);
  void WriteStatus();
  bool Protected(uint32_t first, uint32_t end) const;
  // The array (flash_array.cpp).
  void EraseSector();
  void EraseChip();
  void ProgramPage();
  void ProgramAai();
  void ProgramByte(uint32_t address, uint8_t data);
  void EraseRange(uint32_t first, uint32_t size);

  const FlashProfile* profile_ = nullptr;
  uint8_t* contents_ = nullptr;
  uint32_t mask_ = 0;
  SimClock* clock_ = nullptr;
  SimCounters* counters_ = nullptr;
  const TraceSink* trace_ = nullptr;

  // Opcode decode for this chip: what each opcode does and, for erases, the
  // index of the erase row.
  SpiKind kind_of_[256] = {};
  uint8_t erase_of_[256] = {};

  // Status and write cycle.
  uint8_t status1_ = 0;  // stored bits, with WEL; WIP and AAI are computed
  uint8_t status2_ = 0;
  uint8_t kept1_ = 0;
  uint8_t kept2_ = 0;
  uint64_t last_poll_ns_ = 0;
  bool busy_polled_ = false;  // a poll since the write cycle started
  bool busy_ = false;
  bool busy_clears_wel_ = false;
  uint64_t busy_until_ns_ = 0;
  bool status_write_armed_ = false;  // by 0x50
  bool aai_active_ = false;
  uint32_t aai_address_ = 0;

  // The transaction under way.
  bool selected_ = false;
  bool has_opcode_ = false;
  uint8_t opcode_ = 0;
  SpiKind kind_ = {};
  uint8_t header_ = 0;  // address bytes the instruction takes
  bool traced_address_ = false;
  uint32_t shifted_ = 0;  // bytes after the opcode, written or read
  uint32_t writes_ = 0;   // bytes written after the opcode
  uint32_t header_writes_ = 0;
  uint32_t reads_ = 0;
  uint32_t address_ = 0;
  uint8_t data_[2] = {};  // status or auto-increment data
  uint8_t latch_[256] = {};

  // Faults.
  bool busy_stuck_ = false;
  bool wel_never_sets_ = false;
  bool wel_never_clears_ = false;
  bool wp_low_ = false;
  uint8_t stuck_count_ = 0;
  uint8_t erase_leaves_count_ = 0;
  uint32_t stuck_address_[kMaxFaultAddresses] = {};
  uint32_t erase_leaves_address_[kMaxFaultAddresses] = {};
  // Per slot: a transient fault, and one that has struck already.
  uint8_t stuck_once_ = 0;
  uint8_t stuck_spent_ = 0;
  uint8_t erase_leaves_once_ = 0;
  uint8_t erase_leaves_spent_ = 0;
};
