// The super-I/O side of the EC chip: its configuration port pair at 0x2E/0x2F
// or 0x4E/0x4F (ISA Plug-and-Play register layout, entered with a four-byte
// key) and the BRAM bank of logical device 0x10.
//
// Both configuration port pairs are watched for the transaction trace, also
// the one where no chip answers, so a trace shows every key the host sent.
#pragma once

#include <stdint.h>

#include "sim/sim_types.h"

struct SioConfig {
  uint16_t index_port;  // 0x2E, 0x4E, or 0 when no chip answers
  uint16_t chip_id;     // registers 0x20 (high) and 0x21 (low)
  uint16_t bram_base;   // base of logical device 0x10
  uint8_t bram_high;    // BRAM 0x10: firmware version, high byte
  uint8_t bram_low;     // BRAM 0x11: firmware version, low byte
  bool foreign_family;  // fault: register 0x20 answers foreign_code
  uint8_t foreign_code;
};

class SioModel {
 public:
  static constexpr uint8_t kBramLogicalDevice = 0x10;
  static constexpr uint8_t kRegConfigControl = 0x02;
  static constexpr uint8_t kRegLogicalDevice = 0x07;
  static constexpr uint8_t kRegChipIdHigh = 0x20;
  static constexpr uint8_t kRegChipIdLow = 0x21;
  static constexpr uint8_t kRegChipVersion = 0x22;
  static constexpr uint8_t kRegActivate = 0x30;
  static constexpr uint8_t kRegBaseHigh = 0x60;
  static constexpr uint8_t kRegBaseLow = 0x61;
  static constexpr uint8_t kWaitForKey = 0x02;  // bit of register 0x02
  static constexpr unsigned kBramSize = 256;
  static constexpr uint8_t kBramVersionIndex = 0x10;

  void Init(const SioConfig& config, const TraceSink* trace);

  // Ports 0x2E/0x2F and 0x4E/0x4F.
  uint8_t ReadConfigPort(uint16_t port);
  void WriteConfigPort(uint16_t port, uint8_t value);

  // The BRAM index/data pair at the base of logical device 0x10.
  bool DecodesBram(uint16_t port) const {
    return present_ && static_cast<uint16_t>(port - bram_base_) < 2;
  }
  uint8_t ReadBram(uint16_t port);
  void WriteBram(uint16_t port, uint8_t value);

  // Observation.
  bool Present() const { return present_; }
  bool InConfigMode() const { return present_ && pairs_[chip_pair_].config_mode; }
  uint32_t KeyEntries() const { return key_entries_; }
  uint16_t BramBase() const { return bram_base_; }
  uint8_t LogicalDevice() const { return logical_device_; }
  uint8_t Bram(uint8_t index) const { return bram_[index]; }

 private:
  struct PortPair {
    uint16_t index_port;
    const uint8_t* key;
    uint8_t key_position;
    bool config_mode;
    uint8_t index;
  };

  uint8_t ReadRegister(uint8_t reg) const;
  void WriteRegister(uint8_t reg, uint8_t value);

  const TraceSink* trace_;
  PortPair pairs_[2];
  unsigned chip_pair_;  // which pair the chip answers on, when present
  bool present_;
  uint16_t chip_id_;
  bool foreign_family_;
  uint8_t foreign_code_;
  uint8_t logical_device_;
  uint16_t bram_base_;
  uint8_t bram_index_;
  uint32_t key_entries_;
  uint8_t bram_[kBramSize];
};
