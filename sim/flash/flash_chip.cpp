// The engine of the flash model, its bus side: one SPI instruction per
// chip-select cycle, decoded from the profile. Bytes are shifted in full
// duplex: a read clocks the idle bus (0xFF) in while the chip drives its
// answer out. Instructions that change the array or the status register run
// when chip select rises, and only if exactly the bytes they need were
// shifted (flash_status.cpp, flash_array.cpp).
#include "sim/flash/flash_chip.h"

#include "sim/flash/flash_profile.h"
#include "sim/sim_text.h"

namespace {

// Status reads are the only instructions a busy chip or an auto-increment
// sequence accepts besides its own.
bool IsStatusRead(SpiKind kind) {
  return kind == SpiKind::kReadStatus || kind == SpiKind::kReadStatus2;
}

}  // namespace

void FlashChip::Init(const FlashProfile* profile, uint8_t* contents, SimClock* clock,
                     SimCounters* counters, const TraceSink* trace) {
  *this = FlashChip();
  SetOperations(&kOperationsOf<FlashChip>);
  profile_ = profile;
  contents_ = contents;
  mask_ = profile->size - 1;
  clock_ = clock;
  counters_ = counters;
  trace_ = trace;
  status1_ = profile->status->power_up1;
  status2_ = profile->status->power_up2;
  kept1_ = status1_ & profile->status->nonvolatile1;
  kept2_ = status2_ & profile->status->nonvolatile2;

  // Every modelled part decodes this core set.
  kind_of_[spi::kRead] = SpiKind::kRead;
  kind_of_[spi::kFastRead] = SpiKind::kFastRead;
  kind_of_[spi::kSignature] = SpiKind::kSignature;
  kind_of_[spi::kReadStatus] = SpiKind::kReadStatus;
  kind_of_[spi::kWriteEnable] = SpiKind::kWriteEnable;
  kind_of_[spi::kWriteDisable] = SpiKind::kWriteDisable;
  kind_of_[spi::kWriteStatus] = SpiKind::kWriteStatus;
  kind_of_[spi::kPageProgram] = SpiKind::kPageProgram;
  // A part without a JEDEC ID leaves the bus to its pull-up or answers
  // zeros; either is a fill after no ID bytes.
  kind_of_[spi::kJedecId] = SpiKind::kJedecId;
  if (profile->id.has_mfr_device_id) kind_of_[spi::kMfrDeviceId] = SpiKind::kMfrDeviceId;
  if (profile->status->has_status2) kind_of_[spi::kReadStatus2] = SpiKind::kReadStatus2;
  if (profile->status->arm != StatusArm::kNone) {
    kind_of_[spi::kStatusWriteArm] = SpiKind::kStatusWriteArm;
  }
  if (profile->program.aai_opcode != 0)
    kind_of_[profile->program.aai_opcode] = SpiKind::kAaiProgram;
  for (size_t i = 0; i < kMaxEraseOps; ++i) {
    const EraseOp& erase = profile->erases[i];
    if (erase.opcode == 0) break;
    kind_of_[erase.opcode] = erase.size == 0 ? SpiKind::kChipErase : SpiKind::kErase;
    erase_of_[erase.opcode] = static_cast<uint8_t>(i);
  }
}

void FlashChip::Select() {
  if (selected_) Deselect();
  selected_ = true;
  has_opcode_ = false;
  shifted_ = writes_ = header_writes_ = reads_ = 0;
  address_ = 0;
}

void FlashChip::Decode(uint8_t opcode) {
  has_opcode_ = true;
  opcode_ = opcode;
  Refresh();
  const SpiKind decoded = kind_of_[opcode];
  // The address layout is the opcode's on this chip even when the chip
  // ignores the instruction, so the trace shows what was sent.
  header_ = 0;
  traced_address_ = false;
  switch (decoded) {
    case SpiKind::kRead:
    case SpiKind::kFastRead:
    case SpiKind::kPageProgram:
    case SpiKind::kErase:
      header_ = kAddressBytes;
      traced_address_ = true;
      break;
    case SpiKind::kAaiProgram:
      // Only the first command of a sequence carries the address.
      header_ = aai_active_ ? 0 : kAddressBytes;
      traced_address_ = !aai_active_;
      break;
    case SpiKind::kSignature:
    case SpiKind::kMfrDeviceId:
      header_ = kAddressBytes;  // dummy or address bytes, shown as written bytes
      break;
    default:
      break;
  }
  SpiKind kind = decoded;
  if (busy_ && !IsStatusRead(kind)) kind = SpiKind::kNone;
  if (aai_active_ && !IsStatusRead(kind) && kind != SpiKind::kWriteDisable &&
      kind != SpiKind::kAaiProgram) {
    kind = SpiKind::kNone;
  }
  // 0x50 arms only the instruction right after it; status polls in between
  // are allowed, as they are at any time.
  if (!IsStatusRead(kind) && kind != SpiKind::kWriteStatus && kind != SpiKind::kStatusWriteArm) {
    status_write_armed_ = false;
  }
  kind_ = kind;
  if (kind == SpiKind::kPageProgram) {
    __builtin_memset(latch_, 0xFF, profile_->program.page_size);
  }
}

// Takes one byte shifted in after the opcode.
void FlashChip::Shift(uint8_t byte) {
  const uint32_t position = shifted_++;
  if (position < header_) {
    address_ = ((address_ << 8) | byte) & 0xFFFFFF;
    return;
  }
  const uint32_t index = position - header_;
  switch (kind_) {
    case SpiKind::kPageProgram: {
      // The latch is one page; bytes past its end wrap and replace the
      // earlier ones, as on silicon. A part that programs one byte per
      // command takes the first and ignores the rest.
      const uint32_t page = profile_->program.page_size;
      if (page == 1 && index != 0) break;
      latch_[(address_ + index) & (page - 1)] = byte;
      break;
    }
    case SpiKind::kWriteStatus:
    case SpiKind::kAaiProgram:
      if (index < sizeof(data_)) data_[index] = byte;
      break;
    default:
      break;
  }
}

// The byte the chip drives while the next byte is clocked.
uint8_t FlashChip::Output() {
  const uint32_t position = shifted_;
  switch (kind_) {
    case SpiKind::kReadStatus:
      // Two polls of a busy part at one instant: the bus costs nothing, so
      // the poll itself takes the time.
      if (Busy()) {
        if (busy_polled_ && clock_->now_ns == last_poll_ns_) clock_->now_ns += kMinPollNs;
        busy_polled_ = true;
        last_poll_ns_ = clock_->now_ns;
      }
      Refresh();
      return StatusRegister();
    case SpiKind::kReadStatus2:
      return status2_;
    case SpiKind::kJedecId:
      return position < profile_->id.jedec_length ? profile_->id.jedec[position]
                                                  : profile_->id.jedec_fill;
    case SpiKind::kRead:
      if (position < kAddressBytes) return kIdleBus;
      return contents_[(address_ + position - kAddressBytes) & mask_];
    case SpiKind::kFastRead:
      if (position <= kAddressBytes) return kIdleBus;  // address and dummy byte
      return contents_[(address_ + position - kAddressBytes - 1) & mask_];
    case SpiKind::kSignature:
      if (position < kAddressBytes) return kIdleBus;
      return profile_->id.signature(*profile_, position - kAddressBytes, address_);
    case SpiKind::kMfrDeviceId:
      if (position < kAddressBytes) return kIdleBus;
      return ((address_ + position - kAddressBytes) & 1) ? profile_->id.device
                                                         : profile_->id.manufacturer;
    default:
      return kIdleBus;
  }
}

void FlashChip::Write(uint8_t byte) {
  if (!selected_) return;  // nothing is shifted with chip select high
  ++counters_->spi_bytes_written;
  if (!has_opcode_) {
    Decode(byte);
    return;
  }
  ++writes_;
  if (shifted_ < header_) ++header_writes_;
  Shift(byte);
}

uint8_t FlashChip::Read() {
  if (!selected_) return kIdleBus;
  ++counters_->spi_bytes_read;
  if (!has_opcode_) return kIdleBus;
  ++reads_;
  // Streaming reads are the hot path: a 64 KB verify is 65536 of them.
  if (kind_ == SpiKind::kFastRead && shifted_ > kAddressBytes) {
    return contents_[(address_ + shifted_++ - kAddressBytes - 1) & mask_];
  }
  const uint8_t out = Output();
  Shift(kIdleBus);
  return out;
}

void FlashChip::Deselect() {
  if (!selected_) return;
  selected_ = false;
  if (!has_opcode_) return;
  ++counters_->spi_transactions;
  Execute();
  if (trace_ != nullptr) EmitTrace();
}

void FlashChip::Execute() {
  switch (kind_) {
    case SpiKind::kWriteEnable:
      if (shifted_ == 0 && !wel_never_sets_) status1_ |= kWel;
      break;
    case SpiKind::kWriteDisable:
      if (shifted_ != 0) break;
      if (!wel_never_clears_) status1_ &= static_cast<uint8_t>(~kWel);
      aai_active_ = false;
      break;
    case SpiKind::kStatusWriteArm:
      if (shifted_ == 0) status_write_armed_ = true;
      break;
    case SpiKind::kWriteStatus:
      WriteStatus();
      break;
    case SpiKind::kPageProgram:
      ProgramPage();
      break;
    case SpiKind::kAaiProgram:
      ProgramAai();
      break;
    case SpiKind::kErase:
      EraseSector();
      break;
    case SpiKind::kChipErase:
      EraseChip();
      break;
    default:
      break;
  }
}

void FlashChip::EmitTrace() const {
  char text[64];
  TextLine line(text, sizeof(text));
  line.Add("spi ").Hex(opcode_, 2);
  uint32_t written = writes_;
  if (traced_address_ && shifted_ >= header_) {
    line.Add(" @").Hex(address_, 6);
    written -= header_writes_;
  }
  if (written != 0) line.Add(" w").Dec(written);
  if (reads_ != 0) line.Add(" r").Dec(reads_);
  trace_->line(trace_->context, line.Text());
}
