#include "sim/kbc_model.h"

#include "sim/sim_text.h"

void KbcModel::Init(const KbcConfig& config, const TraceSink* trace) {
  input_.Init(config.ibf_latency, config.ibf_stuck_from);
  trace_ = trace;
  pending_ = config.pending_bytes;
  next_byte_ = 0;
  data_ = 0;
  obf_stuck_ = config.obf_stuck;
  keyboard_enabled_ = true;
  last_write_command_ = false;
  commands_taken_ = 0;
}

uint8_t KbcModel::ReadStatus() {
  if (input_.StatusRead()) Take();
  uint8_t status = kStatusSystem | kStatusUnlocked;
  if (pending_ > 0 || obf_stuck_) status |= kStatusObf;
  if (input_.full) status |= kStatusIbf;
  if (last_write_command_) status |= kStatusCommand;
  return status;
}

uint8_t KbcModel::ReadData() {
  if (pending_ > 0) {
    // Make-codes of a few keys, so that a drained byte is recognisable in a
    // port trace.
    data_ = static_cast<uint8_t>(0x1E + (next_byte_++ & 0x0F));
    --pending_;
  } else if (obf_stuck_) {
    data_ = 0xFA;
  }
  // With nothing pending the data register keeps its last byte.
  return data_;
}

void KbcModel::WriteCommand(uint8_t command) {
  last_write_command_ = true;
  if (trace_ != nullptr) {
    TraceText line;
    line.Add("kbc ").Hex(command);
    line.EmitTo(trace_);
  }
  if (input_.Write(command, true)) Take();
}

void KbcModel::WriteData(uint8_t data) {
  last_write_command_ = false;
  if (input_.Write(data, false)) Take();
}

void KbcModel::Take() {
  if (!input_.to_command_port) return;  // data bytes go to the keyboard, unmodelled
  ++commands_taken_;
  if (input_.byte == kDisableKeyboard) keyboard_enabled_ = false;
  if (input_.byte == kEnableKeyboard) keyboard_enabled_ = true;
}
