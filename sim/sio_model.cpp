#include "sim/sio_model.h"

#include "sim/sim_text.h"

namespace {
// Configuration entry keys; the 0x4E pair ends in 0xAA instead of 0x55.
constexpr uint8_t kKey2e[4] = {0x87, 0x01, 0x55, 0x55};
constexpr uint8_t kKey4e[4] = {0x87, 0x01, 0x55, 0xAA};
}  // namespace

void SioModel::Init(const SioConfig& config, const TraceSink* trace) {
  trace_ = trace;
  pairs_[0] = PortPair{0x2E, kKey2e, 0, false, 0};
  pairs_[1] = PortPair{0x4E, kKey4e, 0, false, 0};
  present_ = config.index_port == 0x2E || config.index_port == 0x4E;
  chip_pair_ = config.index_port == 0x4E ? 1 : 0;
  chip_id_ = config.chip_id;
  foreign_family_ = config.foreign_family;
  foreign_code_ = config.foreign_code;
  logical_device_ = 0;
  bram_base_ = config.bram_base;
  bram_index_ = 0;
  key_entries_ = 0;
  __builtin_memset(bram_, 0, sizeof(bram_));
  bram_[kBramVersionIndex] = config.bram_high;
  bram_[kBramVersionIndex + 1] = config.bram_low;
}

uint8_t SioModel::ReadConfigPort(uint16_t port) {
  unsigned which = (port & 0xFE) == 0x4E ? 1 : 0;
  PortPair& pair = pairs_[which];
  bool chip_here = present_ && which == chip_pair_;
  if (!pair.config_mode) return 0xFF;  // wait-for-key: the chip does not decode reads
  if (port == pair.index_port) return chip_here ? pair.index : 0xFF;
  uint8_t value = chip_here ? ReadRegister(pair.index) : 0xFF;
  if (trace_ != nullptr) {
    TraceText line;
    line.Add("sio read ").Hex(pair.index).Add(" -> ").Hex(value);
    line.EmitTo(trace_);
  }
  return value;
}

void SioModel::WriteConfigPort(uint16_t port, uint8_t value) {
  unsigned which = (port & 0xFE) == 0x4E ? 1 : 0;
  PortPair& pair = pairs_[which];
  bool chip_here = present_ && which == chip_pair_;
  if (port == pair.index_port) {
    if (pair.config_mode) pair.index = value;
    // In configuration mode the chip takes every index byte as a register
    // number. Where no chip answers, the watcher keeps looking for keys.
    if (pair.config_mode && chip_here) return;
    // A byte that breaks the sequence restarts it; it may itself be the key's
    // first byte.
    if (value == pair.key[pair.key_position]) {
      if (++pair.key_position == 4) {
        pair.key_position = 0;
        pair.config_mode = true;
        if (chip_here) ++key_entries_;
        if (trace_ != nullptr) {
          TraceText line;
          line.Add("sio key ").Hex(pair.index_port);
          line.EmitTo(trace_);
        }
      }
    } else {
      pair.key_position = value == pair.key[0] ? 1 : 0;
    }
    return;
  }
  if (!pair.config_mode) return;
  if (trace_ != nullptr) {
    TraceText line;
    line.Add("sio write ").Hex(pair.index).Char(' ').Hex(value);
    line.EmitTo(trace_);
  }
  if (pair.index == kRegConfigControl && (value & kWaitForKey) != 0) {
    pair.config_mode = false;
    return;
  }
  if (chip_here) WriteRegister(pair.index, value);
}

uint8_t SioModel::ReadRegister(uint8_t reg) const {
  bool bram_device = logical_device_ == kBramLogicalDevice;
  switch (reg) {
    case kRegChipIdHigh:
      return foreign_family_ ? foreign_code_ : static_cast<uint8_t>(chip_id_ >> 8);
    case kRegChipIdLow:
      return static_cast<uint8_t>(chip_id_);
    case kRegChipVersion:
      return 0x01;
    case kRegLogicalDevice:
      return logical_device_;
    case kRegActivate:
      return bram_device ? 0x01 : 0x00;
    case kRegBaseHigh:
      return bram_device ? static_cast<uint8_t>(bram_base_ >> 8) : 0x00;
    case kRegBaseLow:
      return bram_device ? static_cast<uint8_t>(bram_base_) : 0x00;
    default:
      return 0x00;  // unmodelled registers
  }
}

void SioModel::WriteRegister(uint8_t reg, uint8_t value) {
  bool bram_device = logical_device_ == kBramLogicalDevice;
  switch (reg) {
    case kRegLogicalDevice:
      logical_device_ = value;
      return;
    case kRegBaseHigh:
      if (bram_device) bram_base_ = static_cast<uint16_t>((bram_base_ & 0x00FF) | (value << 8));
      return;
    case kRegBaseLow:
      if (bram_device) bram_base_ = static_cast<uint16_t>((bram_base_ & 0xFF00) | value);
      return;
    default:
      return;  // chip ID and unmodelled registers are read-only here
  }
}

uint8_t SioModel::ReadBram(uint16_t port) {
  if (port == bram_base_) return bram_index_;
  uint8_t value = bram_[bram_index_];
  if (trace_ != nullptr) {
    TraceText line;
    line.Add("bram read ").Hex(bram_index_).Add(" -> ").Hex(value);
    line.EmitTo(trace_);
  }
  return value;
}

void SioModel::WriteBram(uint16_t port, uint8_t value) {
  if (port == bram_base_) {
    bram_index_ = value;
  } else {
    bram_[bram_index_] = value;
  }
}
