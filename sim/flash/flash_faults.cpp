// Fault injection for the reliability tests: a chip that misbehaves in one
// of the ways real parts wear out or are mis-wired.
#include "sim/faults.h"
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"

namespace {

// splitmix64: a fixed, well-mixed sequence from a seed, so a "random" fault
// is the same on every run and every host.
uint64_t Mix(uint64_t seed) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

bool FlashChip::ApplyFault(const char* kind_text, const char* arg) {
  if (kind_text == nullptr || profile_ == nullptr) return false;
  const FaultText split = SplitFault(kind_text);
  const FaultKind* row = FindFault(split.kind);
  if (row == nullptr || row->chip == ChipFault::kNone) return false;
  uint64_t value = 0;
  if (!FaultArgumentValue(*row, arg != nullptr ? arg : split.argument, &value)) return false;
  return Inject(row->chip, value);
}

bool FlashChip::Inject(ChipFault fault, uint64_t argument) {
  if (profile_ == nullptr) return false;
  switch (fault) {
    case ChipFault::kNone:
      return false;
    case ChipFault::kBusyStuck:
      busy_stuck_ = true;
      return true;
    case ChipFault::kWelNeverSets:
      wel_never_sets_ = true;
      return true;
    case ChipFault::kWelNeverClears:
      wel_never_clears_ = true;
      return true;
    case ChipFault::kWpLow:
      wp_low_ = true;
      return true;
    case ChipFault::kBitStuckRandom:
      argument = Mix(argument) % profile_->size;
      [[fallthrough]];
    case ChipFault::kBitStuck:
    case ChipFault::kEraseLeaves:
    case ChipFault::kBitStuckOnce:
    case ChipFault::kEraseLeavesOnce:
      break;
  }
  if (argument >= profile_->size) return false;
  const uint32_t address = static_cast<uint32_t>(argument);
  if (fault == ChipFault::kEraseLeaves || fault == ChipFault::kEraseLeavesOnce) {
    if (erase_leaves_count_ == kMaxFaultAddresses) return false;
    if (fault == ChipFault::kEraseLeavesOnce) erase_leaves_once_ |= 1u << erase_leaves_count_;
    erase_leaves_address_[erase_leaves_count_++] = address;
  } else {
    if (stuck_count_ == kMaxFaultAddresses) return false;
    if (fault == ChipFault::kBitStuckOnce) stuck_once_ |= 1u << stuck_count_;
    stuck_address_[stuck_count_++] = address;
  }
  return true;
}

uint32_t FlashChip::StuckBitAddress() const {
  return stuck_count_ != 0 ? stuck_address_[0] : UINT32_MAX;
}
