// Fault injection for the reliability tests: a chip that misbehaves in one
// of the ways real parts wear out or are mis-wired.
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "sim/sim_text.h"

namespace {

// splitmix64: a fixed, well-mixed sequence from a seed, so a "random" fault
// is the same on every run and every host.
uint64_t Mix(uint64_t seed) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Splits "KIND:ARG" into a kind (copied into `kind`) and its argument.
const char* SplitKind(const char* text, char* kind, size_t capacity) {
  size_t i = 0;
  for (; text[i] != '\0' && text[i] != ':'; ++i) {
    if (i + 1 >= capacity) return nullptr;
    kind[i] = text[i];
  }
  kind[i] = '\0';
  return text[i] == ':' ? text + i + 1 : nullptr;
}

}  // namespace

bool FlashChip::ApplyFault(const char* kind_text, const char* arg) {
  if (kind_text == nullptr || profile_ == nullptr) return false;
  char kind[32];
  const char* inline_arg = SplitKind(kind_text, kind, sizeof(kind));
  if (arg == nullptr) arg = inline_arg;

  if (TextEqual(kind, "busy-stuck")) {
    busy_stuck_ = true;
  } else if (TextEqual(kind, "wel-never-sets")) {
    wel_never_sets_ = true;
  } else if (TextEqual(kind, "wel-never-clears")) {
    wel_never_clears_ = true;
  } else if (TextEqual(kind, "wp-low")) {
    wp_low_ = true;
  } else if (TextEqual(kind, "bit-stuck") || TextEqual(kind, "bit-stuck-random") ||
             TextEqual(kind, "erase-leaves")) {
    const bool random = TextEqual(kind, "bit-stuck-random");
    uint64_t value = 0;
    if (!ParseUnsigned(arg, random ? 10 : 16, UINT64_MAX, &value)) return false;
    if (random) value = Mix(value) % profile_->size;
    if (value >= profile_->size) return false;
    const uint32_t address = static_cast<uint32_t>(value);
    if (TextEqual(kind, "erase-leaves")) {
      if (erase_leaves_count_ == kMaxFaultAddresses) return false;
      erase_leaves_address_[erase_leaves_count_++] = address;
    } else {
      if (stuck_count_ == kMaxFaultAddresses) return false;
      stuck_address_[stuck_count_++] = address;
    }
  } else {
    return false;
  }
  return true;
}

uint32_t FlashChip::StuckBitAddress() const {
  return stuck_count_ != 0 ? stuck_address_[0] : UINT32_MAX;
}
