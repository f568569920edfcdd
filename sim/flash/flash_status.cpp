// The status register of the flash model: write cycles (busy and WEL),
// status writes and their enables, the non-volatile bits a new run takes
// over, and the block protection the bits decode to.
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"

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
