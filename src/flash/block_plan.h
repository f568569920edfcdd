// One block's work, decided once before the block is touched: where it
// starts, what is erased, how far programming and verify go, and which image
// bytes belong there. Erase, program, verify and the update read it.
#pragma once

#include <stdint.h>

#include "flash/geometry.h"

enum class BlockPath : uint8_t { kWhole, kBootBlock, kMainArea, kBackupArea };

// Ends are counted as the engine counts them: from the start of block 0, so
// the block's first byte is at `count_base` and an end E is the flash
// address flash_start + (E - count_base).
struct BlockPlan {
  BlockPath path;
  uint32_t block_start;  // block 0: the /O offset in whole pages
  uint32_t flash_start;  // block_start plus the area's offset
  uint64_t count_base;
  // Erase from flash_start: `erase_count` commands `erase_step` apart. The
  // whole-block path uses the chip's block erase, the areas its sector erase.
  uint8_t erase_opcode;
  uint32_t erase_step;
  uint32_t erase_size;  // bytes one command erases: the path's erase unit
  uint32_t erase_count;
  uint64_t erase_check_end;
  uint32_t erase_check_mark_every;
  // Programming stops where the run's byte count reaches program_end, or
  // after program_pages pages.
  uint64_t program_end;
  uint16_t program_pages;
  uint64_t verify_end;
  uint32_t verify_mark_every;
  // The image offset of flash_start's byte.
  uint64_t image_base;
};

// Plans the update's current block (FlashState.BlockNum): the image block it
// takes its bytes from (the half-block rule), then vPlanBlockRanges.
void vPlanBlock();
// Plans from the current BlockNum and BlockBase into FlashState.Plan.
void vPlanBlockRanges();
// Whether the identified board writes a 256 KB image as 128 KB.
bool bHalfBlockImage();
// Bytes the update writes from the plan's flash start: the verify's range,
// the whole block when its end lies before the block's first byte.
inline uint32_t uiPlanExtent(const BlockPlan& plan) {
  if (plan.verify_end >= plan.count_base && plan.verify_end - plan.count_base < geometry::kBlock)
    return static_cast<uint32_t>(plan.verify_end - plan.count_base);
  return geometry::kBlock;
}
// Which image byte belongs `distance` bytes after the plan's flash start.
inline uint64_t ullImageOffsetIn(const BlockPlan& plan, uint64_t distance) {
  return plan.image_base + distance;
}
