// The EC's ACPI-style host interface on ports 0x62/0x66, with its RAM, the
// flash-mode entry and the follow mode that relays single SPI bytes to the
// flash chip behind the EC.
#pragma once

#include <stdint.h>

#include "sim/input_latch.h"
#include "sim/sim_types.h"

struct EcConfig {
  uint8_t ack;              // answer to the flash-mode command
  uint32_t ibf_latency;     // status reads with IBF still set after a write
  uint64_t ibf_stuck_from;  // fault: IBF never clears from this write on (0: never)
  bool no_obf;              // fault: answers are lost, OBF is never set
  bool stale_output;        // a byte is already waiting on 0x62 at start
  uint8_t stale_byte;
  // More such bytes queued behind it (firmware that did not read its last
  // answers, event bytes): stale_byte + 1, + 2, ...
  uint32_t stale_more;
  const uint8_t* ram;  // 256 bytes copied at Init; null for the default contents
  // The mode-select chip's EC: 0xDC enters flash mode only after a
  // pre-enter command (0xDD or 0xDE); without one it answers something other
  // than the acknowledgement.
  bool pre_enter_required;
};

class EcModel {
 public:
  static constexpr uint16_t kDataPort = 0x62;
  static constexpr uint16_t kCommandPort = 0x66;

  // Host commands outside flash mode.
  static constexpr uint8_t kReadRam = 0x80;
  static constexpr uint8_t kEnterFlashMode = 0xDC;
  static constexpr uint8_t kPreEnter = 0xDD;     // mode-select chips, default variant
  static constexpr uint8_t kPreEnterAlt = 0xDE;  // mode-select chips, alternative variant
  // Flash mode: follow-mode sub-commands and the two ways out.
  static constexpr uint8_t kSpiSelect = 0x01;
  static constexpr uint8_t kSpiOpcode = 0x02;
  static constexpr uint8_t kSpiData = 0x03;
  static constexpr uint8_t kSpiRead = 0x04;
  static constexpr uint8_t kSpiDeselect = 0x05;
  static constexpr uint8_t kLeaveAndReset = 0xFE;
  static constexpr uint8_t kLeave = 0xFC;

  // ACPI EC status register bits.
  static constexpr uint8_t kStatusObf = 0x01;
  static constexpr uint8_t kStatusIbf = 0x02;
  static constexpr uint8_t kStatusCmd = 0x08;  // last byte went to the command port

  static constexpr unsigned kRamSize = 256;
  static constexpr unsigned kVersionAddress = 0xD8;
  static constexpr const char* kDefaultVersion = "XQR02A.0";  // 8 characters at 0xD8

  void Init(const EcConfig& config, SpiDevice* spi, const TraceSink* trace);

  uint8_t ReadStatus() {
    if (input_.StatusRead()) Take();
    uint8_t status = last_write_command_ ? kStatusCmd : 0;
    if (input_.full) status |= kStatusIbf;
    if (obf_) status |= kStatusObf;
    return status;
  }
  uint8_t ReadData();
  void WriteCommand(uint8_t command) {
    last_write_command_ = true;
    if (input_.Write(command, true)) Take();
  }
  void WriteData(uint8_t data) {
    last_write_command_ = false;
    if (input_.Write(data, false)) Take();
  }

  // Observation.
  bool InFlashMode() const { return flash_mode_; }
  bool SpiSelected() const { return selected_; }
  uint32_t Resets() const { return resets_; }
  uint32_t FlashModeEntries() const { return flash_mode_entries_; }
  uint32_t PreEnterCount() const { return pre_enter_count_; }
  uint8_t LastPreEnter() const { return last_pre_enter_; }
  uint64_t Overruns() const { return input_.overruns; }
  uint64_t LostAnswers() const { return lost_answers_; }
  uint8_t Ram(uint8_t address) const { return ram_[address]; }

 private:
  enum class Phase : uint8_t {
    kIdle,        // outside flash mode, waiting for a command
    kRamAddress,  // 0x80 taken, waiting for the address on 0x62
    kFollow,      // flash mode, waiting for a sub-command
    kSpiOperand,  // flash mode, the next byte is shifted out to the flash
  };

  void Take();
  void TakeCommand(uint8_t command);
  void TakeFollow(uint8_t sub_command);
  // False when the answer is lost (never delivered to the host).
  bool Answer(uint8_t byte);
  void Deselect();
  void LeaveFlashMode(uint8_t command);
  void TraceCommand(uint8_t command);
  void TraceAnswer(uint8_t command, const uint8_t* operand, bool delivered, uint8_t answer);

  InputLatch input_;
  SpiDevice* spi_;
  const TraceSink* trace_;
  Phase phase_;
  uint8_t ack_;
  bool no_obf_;
  bool obf_;
  bool last_write_command_;
  bool flash_mode_;
  bool selected_;
  uint8_t data_;  // what 0x62 reads
  // Answers produced while the host has not yet read the previous one wait
  // here in order, so a stale byte is what the next read returns.
  static constexpr unsigned kQueueSize = 16;
  uint8_t queue_[kQueueSize];
  unsigned queue_head_;
  unsigned queue_count_;
  uint32_t resets_;
  uint32_t flash_mode_entries_;
  bool pre_enter_required_;
  bool pre_entered_;  // a pre-enter command arms the next 0xDC
  uint32_t pre_enter_count_;
  uint8_t last_pre_enter_;
  uint64_t lost_answers_;
  uint8_t ram_[kRamSize];
};
