// The comparison of one planned block with the image, by erase unit.
#include "flash/block_compare.h"

#include "flash/flash_engine.h"

void vReadBlockDifference(BlockDifference* difference, bool marks) {
  const BlockPlan& plan = FlashState.Plan;
  BlockDifference& d = *difference;
  d = BlockDifference{};
  d.unit = plan.erase_size;
  // The verify's range: it reads the whole block when its end lies before
  // the block's first byte, as the update does.
  uint64_t extent = geometry::kBlock;
  if (plan.verify_end >= plan.count_base && plan.verify_end - plan.count_base < extent) {
    extent = plan.verify_end - plan.count_base;
  }
  d.extent = static_cast<uint32_t>(extent);
  d.units = (d.extent + d.unit - 1) / d.unit;
  if (d.extent == 0) return;

  vOpenReadPass(plan.flash_start);
  for (uint32_t distance = 0; distance < d.extent; ++distance) {
    const uint8_t flash_byte = ucReadSpiData();
    if (marks && distance % geometry::kSector4K == 0) vPrintProgressMark();
    // An odd image's padding is not the image's: the update leaves it as the
    // erase left it and its verify does not look at it.
    const uint64_t offset = ullImageOffset(distance);
    if (!bImageHasByte(offset) || flash_byte == FlashState.ImageData[offset]) continue;
    if (d.bytes == 0) d.first = plan.flash_start + distance;
    ++d.bytes;
    d.differing |= uint64_t{1} << (distance / d.unit);
  }
  vCloseReadPass();
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
  Print(u" -- Differ: %d bytes, first at 0x%06x.", static_cast<int>(difference.bytes),
        static_cast<unsigned>(difference.first));
}
