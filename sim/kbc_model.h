// The PC/AT keyboard controller as the host sees it on ports 0x60/0x64.
#pragma once

#include <stdint.h>

#include "sim/input_latch.h"
#include "sim/sim_types.h"

struct KbcConfig {
  uint32_t pending_bytes;   // output bytes waiting on 0x60 at start
  uint32_t ibf_latency;     // status reads with IBF still set after a write
  uint64_t ibf_stuck_from;  // fault: IBF never clears from this write on (0: never)
  bool obf_stuck;           // fault: OBF never clears, 0x60 always has a byte
};

class KbcModel {
 public:
  static constexpr uint16_t kDataPort = 0x60;
  static constexpr uint16_t kCommandPort = 0x64;
  static constexpr uint8_t kDisableKeyboard = 0xAD;
  static constexpr uint8_t kEnableKeyboard = 0xAE;

  static constexpr uint8_t kStatusObf = 0x01;
  static constexpr uint8_t kStatusIbf = 0x02;
  static constexpr uint8_t kStatusSystem = 0x04;    // self test passed at power-on
  static constexpr uint8_t kStatusCommand = 0x08;   // last write went to 0x64
  static constexpr uint8_t kStatusUnlocked = 0x10;  // keyboard not inhibited by the key lock

  void Init(const KbcConfig& config, const TraceSink* trace);

  uint8_t ReadStatus();
  uint8_t ReadData();
  void WriteCommand(uint8_t command);
  void WriteData(uint8_t data);

  bool KeyboardEnabled() const { return keyboard_enabled_; }
  uint32_t PendingBytes() const { return pending_; }
  uint64_t CommandsTaken() const { return commands_taken_; }
  uint64_t Overruns() const { return input_.overruns; }

 private:
  void Take();

  InputLatch input_;
  const TraceSink* trace_;
  uint32_t pending_;
  uint32_t next_byte_;
  uint8_t data_;
  bool obf_stuck_;
  bool keyboard_enabled_;
  bool last_write_command_;
  uint64_t commands_taken_;
};
