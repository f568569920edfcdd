// The comparison of one planned block with the image, by erase unit.
#include "flash/block_compare.h"

#include "flash/backup.h"
#include "flash/flash_engine.h"

void vReadBlockDifference(BlockDifference* difference, bool marks) {
  const BlockPlan& plan = FlashState.Plan;
  BlockDifference& d = *difference;
  d = BlockDifference{};
  d.unit = plan.erase_size;
  d.extent = uiPlanExtent(plan);
  d.units = (d.extent + d.unit - 1) / d.unit;
  if (d.extent == 0) return;

  // /U with a backup read the block already, before the first erase.
  uint8_t saved = 0;
  const bool read = !bSavedFlashByte(plan.image_base, &saved);
  if (read) vOpenReadPass(plan.flash_start);
  for (uint32_t distance = 0; distance < d.extent; ++distance) {
    uint8_t flash_byte = 0;
    if (read) {
      flash_byte = ucReadSpiData();
    } else {
      (void)bSavedFlashByte(plan.image_base + distance, &flash_byte);
    }
    if (marks && distance % geometry::kSector4K == 0) vPrintProgressMark();
    // An odd image's padding is not the image's: the update leaves it as the
    // erase left it and its verify does not look at it.
    const uint64_t offset = ullImageOffset(distance);
    if (!bImageHasByte(offset) || flash_byte == FlashState.ImageData[offset]) continue;
    if (d.bytes == 0) d.first = plan.flash_start + distance;
    ++d.bytes;
    d.differing |= uint64_t{1} << (distance / d.unit);
  }
  if (read) vCloseReadPass();
}

void vFormatUnitMap(const BlockDifference& difference, char16_t* map) {
  uint32_t i = 0;
  for (; i < difference.units && i < kMaxBlockUnits; ++i) {
    map[i] = bUnitDiffers(difference, i) ? u'X' : u'.';
  }
  map[i] = 0;
}

void vShowDifference(const BlockDifference& difference) {
  if (difference.bytes == 1) {
    Print(u" -- Differ: 1 byte, at 0x%06x.", static_cast<unsigned>(difference.first));
    return;
  }
  // Behind the label and a block's 16 marks this fits 79 columns.
  Print(u" -- Differ: %d bytes, first 0x%06x.", static_cast<int>(difference.bytes),
        static_cast<unsigned>(difference.first));
}
