// A modelled SPI NOR flash chip, driven through SpiDevice by the EC's follow
// mode. Its behaviour comes from a profile (one row of the chip table); the
// engine interprets the profile.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/sim_types.h"

struct FlashProfile;  // one row of the chip table (flash_profiles.cpp)

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
  void Init(const FlashProfile* profile, uint8_t* contents, SimClock* clock,
            SimCounters* counters, const TraceSink* trace);

  void Select() override;
  void Deselect() override;
  void Write(uint8_t byte) override;
  uint8_t Read() override;

  // Observation for tests and the harness.
  uint8_t StatusRegister() const;
  bool Busy() const;
  const FlashProfile* Profile() const { return profile_; }

 private:
  // The engine's state lives here; the flash-model engineer owns the rest of
  // this class.
  const FlashProfile* profile_ = nullptr;
#include "sim/flash/flash_chip_state.inc"
};
