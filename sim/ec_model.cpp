#include "sim/ec_model.h"

#include "sim/sim_text.h"

void EcModel::Init(const EcConfig& config, SpiDevice* spi, const TraceSink* trace) {
  input_.Init(config.ibf_latency, config.ibf_stuck_from);
  spi_ = spi;
  trace_ = trace;
  phase_ = Phase::kIdle;
  ack_ = config.ack;
  no_obf_ = config.no_obf;
  obf_ = false;
  last_write_command_ = false;
  flash_mode_ = false;
  selected_ = false;
  data_ = 0;
  queue_head_ = 0;
  queue_count_ = 0;
  resets_ = 0;
  flash_mode_entries_ = 0;
  pre_enter_required_ = config.pre_enter_required;
  pre_entered_ = false;
  pre_enter_count_ = 0;
  last_pre_enter_ = 0;
  lost_answers_ = 0;
  if (config.ram != nullptr) {
    __builtin_memcpy(ram_, config.ram, kRamSize);
  } else {
    __builtin_memset(ram_, 0, kRamSize);
    for (unsigned i = 0; kDefaultVersion[i] != '\0'; ++i) {
      ram_[kVersionAddress + i] = static_cast<uint8_t>(kDefaultVersion[i]);
    }
  }
  if (config.stale_output) {
    data_ = config.stale_byte;
    obf_ = true;
    for (uint32_t i = 0; i < config.stale_more && queue_count_ < kQueueSize; ++i) {
      queue_[queue_count_++] = static_cast<uint8_t>(config.stale_byte + 1 + i);
    }
  }
}

uint8_t EcModel::ReadData() {
  uint8_t value = data_;
  if (obf_) {
    obf_ = false;
    if (queue_count_ > 0) {
      // The EC firmware refills the output buffer once the host has emptied it.
      data_ = queue_[queue_head_];
      queue_head_ = (queue_head_ + 1) % kQueueSize;
      --queue_count_;
      obf_ = true;
    }
  }
  // With OBF clear the data register still holds its last byte.
  return value;
}

bool EcModel::Answer(uint8_t byte) {
  if (no_obf_ || (obf_ && queue_count_ == kQueueSize)) {
    ++lost_answers_;
    return false;
  }
  if (!obf_) {
    data_ = byte;
    obf_ = true;
    return true;
  }
  queue_[(queue_head_ + queue_count_) % kQueueSize] = byte;
  ++queue_count_;
  return true;
}

// A command, its operand if it has one, and its answer only if the host got it.
void EcModel::TraceAnswer(uint8_t command, const uint8_t* operand, bool delivered, uint8_t answer) {
  if (trace_ == nullptr) return;
  TraceText line;
  line.Add("ec ").Hex(command);
  if (operand != nullptr) line.Char(' ').Hex(*operand);
  if (delivered) line.Add(" -> ").Hex(answer);
  line.EmitTo(trace_);
}

void EcModel::TraceCommand(uint8_t command) {
  if (trace_ == nullptr) return;
  TraceText line;
  line.Add("ec ").Hex(command);
  line.EmitTo(trace_);
}

void EcModel::Take() {
  uint8_t byte = input_.byte;
  switch (phase_) {
    case Phase::kIdle:
      // A byte on the data port without a command asking for one is dropped.
      if (input_.to_command_port) TakeCommand(byte);
      return;
    case Phase::kRamAddress:
      if (input_.to_command_port) {
        // A new command abandons the read that was waiting for its address.
        TraceCommand(kReadRam);
        phase_ = Phase::kIdle;
        TakeCommand(byte);
        return;
      }
      phase_ = Phase::kIdle;
      TraceAnswer(kReadRam, &byte, Answer(ram_[byte]), ram_[byte]);
      return;
    case Phase::kFollow:
      if (input_.to_command_port) TakeFollow(byte);
      return;
    case Phase::kSpiOperand:
      // Whatever follows 0x02 or 0x03 is shifted out, even if it looks like a
      // sub-command. In flash mode every tunnel byte arrives on 0x66; a byte
      // on 0x62 is not part of the tunnel and is dropped.
      if (!input_.to_command_port) return;
      phase_ = Phase::kFollow;
      // With chip select inactive the flash ignores the clocks.
      if (selected_ && spi_ != nullptr) spi_->Write(byte);
      return;
  }
}

void EcModel::TakeCommand(uint8_t command) {
  switch (command) {
    case kReadRam:
      phase_ = Phase::kRamAddress;
      return;
    case kEnterFlashMode: {
      if (pre_enter_required_ && !pre_entered_) {
        // The EC firmware refuses; any answer but the acknowledgement.
        const uint8_t refusal = static_cast<uint8_t>(~ack_);
        TraceAnswer(command, nullptr, Answer(refusal), refusal);
        return;
      }
      pre_entered_ = false;
      flash_mode_ = true;
      ++flash_mode_entries_;
      phase_ = Phase::kFollow;
      TraceAnswer(command, nullptr, Answer(ack_), ack_);
      return;
    }
    case kPreEnter:
    case kPreEnterAlt:
      pre_entered_ = true;
      ++pre_enter_count_;
      last_pre_enter_ = command;
      TraceCommand(command);
      return;
    default:
      // Unknown commands are ignored, as the EC firmware does.
      TraceCommand(command);
      return;
  }
}

void EcModel::TakeFollow(uint8_t sub_command) {
  switch (sub_command) {
    case kSpiSelect:
      // A new transaction ends the open one first, so the flash sees the end
      // of the previous instruction.
      Deselect();
      selected_ = true;
      if (spi_ != nullptr) spi_->Select();
      return;
    case kSpiOpcode:
    case kSpiData:
      phase_ = Phase::kSpiOperand;
      return;
    case kSpiRead:
      // A deselected bus floats high.
      Answer(selected_ && spi_ != nullptr ? spi_->Read() : 0xFF);
      return;
    case kSpiDeselect:
      Deselect();
      return;
    case kLeaveAndReset:
    case kLeave:
      LeaveFlashMode(sub_command);
      return;
    default:
      return;  // not a sub-command: ignored
  }
}

void EcModel::Deselect() {
  if (!selected_) return;
  selected_ = false;
  if (spi_ != nullptr) spi_->Deselect();
}

void EcModel::LeaveFlashMode(uint8_t command) {
  Deselect();
  TraceCommand(command);
  flash_mode_ = false;
  phase_ = Phase::kIdle;
  if (command == kLeaveAndReset) {
    // The EC restarts its firmware: its host interface comes up empty.
    ++resets_;
    obf_ = false;
    queue_count_ = 0;
  }
}
