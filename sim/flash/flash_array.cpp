// The array of the flash model: erase and program as NOR cells do them
// (programming only clears bits), with the wear-out faults applied.
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"

void FlashChip::EraseSector() {
  if (shifted_ != kAddressBytes || !(status1_ & kWel)) return;
  const EraseOp& erase = profile_->erases[erase_of_[opcode_]];
  const uint32_t first = address_ & mask_ & ~(erase.size - 1);
  if (Protected(first, first + erase.size)) return;
  EraseRange(first, erase.size);
  StartWriteCycle(erase.time_us, true);
}

void FlashChip::EraseChip() {
  if (shifted_ != 0 || !(status1_ & kWel)) return;
  // Refused while any part of the array is protected.
  if (Protected(0, profile_->size)) return;
  EraseRange(0, profile_->size);
  StartWriteCycle(profile_->erases[erase_of_[opcode_]].time_us, true);
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
