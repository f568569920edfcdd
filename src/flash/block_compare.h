// What the flash holds against what the update would write into the current
// block, erase unit by erase unit: the pre-read of /U and the whole of /D.
#pragma once

#include <stdint.h>

// The most erase units one 64 KB block has (1 KB units).
constexpr uint32_t kMaxBlockUnits = 64;

struct BlockDifference {
  uint32_t unit;       // bytes per erase unit: the path's erase size
  uint32_t extent;     // bytes the update writes from the plan's flash start
  uint32_t units;      // erase units the extent touches
  uint64_t differing;  // bit i set: unit i holds a byte that differs
  uint32_t bytes;      // bytes that differ
  uint32_t first;      // flash address of the first byte that differs
};

// Unit `unit` of the block holds a byte that differs from the image.
inline bool bUnitDiffers(const BlockDifference& difference, uint32_t unit) {
  return (difference.differing >> unit & 1) != 0;
}

// Reads the range the update would write into the planned block and compares
// it with the image bytes the update would write there, with a progress mark
// per 4 KB when `marks`.
void vReadBlockDifference(BlockDifference* difference, bool marks);
// The block's unit map: '.' for a unit that is the same, 'X' for one that
// differs, zero-terminated into `map` (kMaxBlockUnits + 1 characters).
void vFormatUnitMap(const BlockDifference& difference, char16_t* map);
// The result text of a block that differs: how many bytes, and the first.
void vShowDifference(const BlockDifference& difference);
