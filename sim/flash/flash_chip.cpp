// The engine of the flash model: one SPI instruction per chip-select cycle,
// decoded from the profile. Bytes are shifted in full duplex: a read clocks
// the idle bus (0xFF) in while the chip drives its answer out. Instructions
// that change the array or the status register run when chip select rises,
// and only if exactly the bytes they need were shifted.
#include "sim/flash/flash_chip.h"

#include "sim/flash/flash_profile.h"
#include "sim/sim_text.h"

namespace {

constexpr uint8_t kWip = 0x01;
constexpr uint8_t kWel = 0x02;
constexpr uint8_t kIdleBus = 0xFF;  // MOSI while reading, MISO while the chip is silent
constexpr uint8_t kAddressBytes = 3;

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

// Ends a write cycle whose time has passed on the clock.
void FlashChip::Refresh() {
  if (!busy_ || busy_stuck_ || clock_->now_ns < busy_until_ns_) return;
  busy_ = false;
  if (busy_clears_wel_ && !wel_never_clears_) status1_ &= static_cast<uint8_t>(~kWel);
}

void FlashChip::RestoreStatus(uint8_t status1, uint8_t status2) {
  const StatusLayout& layout = *profile_->status;
  kept1_ = status1 & layout.nonvolatile1;
  kept2_ = status2 & layout.nonvolatile2;
  status1_ = static_cast<uint8_t>((status1_ & ~layout.nonvolatile1) | kept1_);
  status2_ = static_cast<uint8_t>((status2_ & ~layout.nonvolatile2) | kept2_);
}

bool FlashChip::Busy() const { return busy_ && (busy_stuck_ || clock_->now_ns < busy_until_ns_); }

uint8_t FlashChip::StatusRegister() const {
  uint8_t status = status1_;
  if (Busy()) {
    status |= kWip;
  } else if (busy_ && busy_clears_wel_ && !wel_never_clears_) {
    status &= static_cast<uint8_t>(~kWel);  // the cycle has ended; Refresh will agree
  }
  if (aai_active_) status |= profile_->status->aai_mask;
  return status;
}

void FlashChip::StartWriteCycle(uint32_t time_us, bool clears_wel) {
  busy_ = true;
  busy_polled_ = false;
  busy_clears_wel_ = clears_wel;
  busy_until_ns_ = clock_->now_ns + static_cast<uint64_t>(time_us) * 1000;
  if (time_us == 0 && !busy_stuck_) Refresh();
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
      // earlier ones, as on silicon.
      const uint32_t page = profile_->program.page_size;
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
    case SpiKind::kErase: {
      if (shifted_ != kAddressBytes || !(status1_ & kWel)) break;
      const EraseOp& erase = profile_->erases[erase_of_[opcode_]];
      const uint32_t first = address_ & mask_ & ~(erase.size - 1);
      if (Protected(first, first + erase.size)) break;
      EraseRange(first, erase.size);
      StartWriteCycle(erase.time_us, true);
      break;
    }
    case SpiKind::kChipErase: {
      if (shifted_ != 0 || !(status1_ & kWel)) break;
      // Refused while any part of the array is protected.
      if (Protected(0, profile_->size)) break;
      EraseRange(0, profile_->size);
      StartWriteCycle(profile_->erases[erase_of_[opcode_]].time_us, true);
      break;
    }
    default:
      break;
  }
}

void FlashChip::WriteStatus() {
  const bool armed = status_write_armed_;
  status_write_armed_ = false;
  const uint32_t count = shifted_;
  if (count != 1 && !(count == 2 && profile_->status->has_status2)) return;
  const bool enabled = armed || (profile_->status->wel_enables_write && (status1_ & kWel));
  if (!enabled) return;
  const ProtectLayout& layout = profile_->status->protect;
  const bool locked =
      (wp_low_ && (status1_ & layout.lock_mask)) || (status2_ & layout.lock2_mask) != 0;
  if (locked) return;

  const uint8_t writable1 = profile_->status->writable1;
  status1_ = static_cast<uint8_t>((status1_ & ~writable1) | (data_[0] & writable1));
  if (count == 2) {
    const uint8_t writable2 = profile_->status->writable2;
    status2_ = static_cast<uint8_t>((status2_ & ~writable2) | (data_[1] & writable2));
  } else if (profile_->status->short_write != nullptr) {
    status2_ = profile_->status->short_write(status2_);
  }
  if (armed && profile_->status->arm == StatusArm::kVolatile) {
    // Volatile bits take effect at once; there is no write cycle.
    if (!wel_never_clears_) status1_ &= static_cast<uint8_t>(~kWel);
    return;
  }
  kept1_ = status1_ & profile_->status->nonvolatile1;
  kept2_ = status2_ & profile_->status->nonvolatile2;
  StartWriteCycle(profile_->timing.status_us, true);
}

void FlashChip::ProgramPage() {
  if (shifted_ <= kAddressBytes || !(status1_ & kWel)) return;
  const uint32_t page = profile_->program.page_size;
  const uint32_t base = address_ & mask_ & ~(page - 1);
  if (Protected(base, base + page)) return;
  for (uint32_t i = 0; i < page; ++i) {
    if (latch_[i] != 0xFF) ProgramByte(base + i, latch_[i]);
  }
  StartWriteCycle(profile_->timing.page_us, true);
}

// SST auto address increment: the first command (WEL needed) carries the
// address and one unit, later ones just a unit; WEL stays set until 0x04.
void FlashChip::ProgramAai() {
  const uint32_t unit = profile_->program.aai_opcode == spi::kAaiWord ? 2 : 1;
  if (!aai_active_) {
    if (shifted_ != kAddressBytes + unit || !(status1_ & kWel)) return;
    aai_address_ = address_ & mask_ & ~(unit - 1);
  } else if (shifted_ != unit) {
    return;
  }
  const uint32_t at = aai_address_;
  if (!Protected(at, at + unit)) {
    for (uint32_t i = 0; i < unit; ++i) ProgramByte(at + i, data_[i]);
  }
  aai_address_ = at + unit;
  aai_active_ = aai_address_ <= mask_;  // the sequence ends at the top of the array
  StartWriteCycle(profile_->timing.aai_us, !aai_active_);
}

void FlashChip::ProgramByte(uint32_t address, uint8_t data) {
  uint8_t& cell = contents_[address & mask_];
  uint8_t value = cell & data;  // NOR: programming only clears bits
  for (unsigned i = 0; i < stuck_count_; ++i) {
    if (stuck_address_[i] != (address & mask_) || (stuck_spent_ & (1u << i))) continue;
    const uint8_t cleared = static_cast<uint8_t>(cell & ~value);
    if (cleared == 0) continue;
    value |= static_cast<uint8_t>(cleared & -cleared);  // the lowest of them does not stick
    stuck_spent_ |= static_cast<uint8_t>(stuck_once_ & (1u << i));
  }
  cell = value;
}

void FlashChip::EraseRange(uint32_t first, uint32_t size) {
  __builtin_memset(contents_ + first, 0xFF, size);
  for (unsigned i = 0; i < erase_leaves_count_; ++i) {
    const uint32_t at = erase_leaves_address_[i];
    if (!(at >= first && at - first < size) || (erase_leaves_spent_ & (1u << i))) continue;
    contents_[at] = 0xFE;
    erase_leaves_spent_ |= static_cast<uint8_t>(erase_leaves_once_ & (1u << i));
  }
}

bool FlashChip::Protected(uint32_t first, uint32_t end) const {
  const ProtectedRange range = ProtectedRangeOf(*profile_, status1_, status2_);
  return first < range.end && range.first < end;
}

ProtectedRange ProtectedRangeOf(const FlashProfile& profile, uint8_t status1, uint8_t status2) {
  const ProtectLayout& layout = profile.status->protect;
  const uint32_t size = profile.size;
  uint32_t length = 0;
  if (layout.bp_mask != 0) {
    const unsigned shift = static_cast<unsigned>(__builtin_ctz(layout.bp_mask));
    const unsigned bp = (status1 & layout.bp_mask) >> shift;
    if (bp == 0) {
      length = 0;
    } else if (layout.sec_mask != 0 && (status1 & layout.sec_mask)) {
      length = bp >= layout.all_from_sec ? size : (4096u << (bp - 1 < 3 ? bp - 1 : 3));
    } else {
      length = bp >= layout.all_from ? size : (layout.unit << (bp - 1));
    }
  }
  if (length > size) length = size;
  const bool bottom = (status1 & layout.tb_mask) != 0;
  ProtectedRange range = bottom ? ProtectedRange{0, length} : ProtectedRange{size - length, size};
  if (layout.cmp_mask != 0 && (status2 & layout.cmp_mask)) {
    // The complement of a range that touches one end touches the other.
    if (length == 0) {
      range = {0, size};
    } else if (length == size) {
      range = {0, 0};
    } else {
      range = bottom ? ProtectedRange{length, size} : ProtectedRange{0, size - length};
    }
  }
  return range;
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
