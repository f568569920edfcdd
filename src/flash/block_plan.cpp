// The block plan: every rule for where a block's work starts and ends.
#include "flash/block_plan.h"

#include "flash/flash_traits.h"
#include "flash/geometry.h"
#include "tolvi.h"

namespace {

constexpr uint32_t kPagesPerSector = geometry::kSector4K / geometry::kPage;
constexpr uint32_t kBootBlockSectors = geometry::kBootBlockSize / geometry::kSector4K;
constexpr uint32_t kCodeAreaSectors = geometry::kCodeAreaSize / geometry::kSector4K;
constexpr uint32_t kKilobyte = 1024;
// A flash address is 24 bits; the /O offset counts in whole pages.
constexpr uint32_t kPageAddressMask = 0xFFFFFF & ~(geometry::kPage - 1);
// The half-block boards take a 256 KB image as 128 KB.
constexpr uint64_t kHalfBlockImageKb = 256;
// The verify and the erase check show one mark per 4 KB, per 256 bytes in
// boot-block mode.
constexpr uint32_t kCheckMarkEvery = geometry::kSector4K;
constexpr uint32_t kBootBlockCheckMarkEvery = geometry::kPage;

// The KB count at which the whole-block erase stops. A main-area image
// reaches one area offset further than its size says.
uint64_t ullWholeBlockEraseEnd() {
  if (FlashState.MainMode != 0 && FlashState.ImageSize > static_cast<int64_t>(geometry::kBlock))
    return FlashState.PageCount + geometry::kMainAreaOffset / kKilobyte;
  return FlashState.PageCount;
}

// The whole-block erase steps until the KB position reaches or passes
// `erase_end_kb`, so the last block erases no step wholly past the image's
// end.
uint32_t uiWholeBlockEraseCount(const EraseStep& erase, uint64_t erase_end_kb) {
  const uint64_t block_kb =
      static_cast<uint64_t>(FlashState.BlockNum) * (geometry::kBlock / kKilobyte);
  const uint32_t steps = geometry::kBlock / erase.step;
  const uint32_t step_kb = erase.step / kKilobyte;
  for (uint32_t i = 0; i < steps; ++i) {
    if (block_kb + static_cast<uint64_t>(i) * step_kb >= erase_end_kb) return i;
  }
  return steps;
}

}  // namespace

bool bHalfBlockImage() {
  return FlashState.PageCount == kHalfBlockImageKb &&
         (FlashState.ChipId == HalfBlockModels[0] || FlashState.ChipId == HalfBlockModels[1]);
}

void vPlanBlock() {
  FlashState.BlockBase = FlashState.BlockNum;
  // The first of the two half-block chips keeps its code in the upper half
  // of a 256 KB image.
  if (bHalfBlockImage() && FlashState.ChipId == HalfBlockModels[0]) {
    FlashState.BlockBase = static_cast<uint8_t>(FlashState.BlockBase + 2);
  }
  vPlanBlockRanges();
}

void vPlanBlockRanges() {
  BlockPlan& plan = FlashState.Plan;
  const uint8_t block = FlashState.BlockNum;
  const uint64_t size = static_cast<uint64_t>(FlashState.ImageSize);
  const bool main_mode = FlashState.MainMode != 0;

  if (FlashState.BbkMode == 1 && block == 0) {
    plan.path = BlockPath::kBootBlock;
  } else if (FlashState.MainMode == 1 && block == 0) {
    plan.path = BlockPath::kMainArea;
  } else if (FlashState.BackupMode == 1) {
    plan.path = BlockPath::kBackupArea;
  } else {
    plan.path = BlockPath::kWhole;
  }
  // The offset counts in whole pages and applies to block 0 only.
  plan.block_start = block == 0 ? static_cast<uint32_t>(FlashState.StartOffset) & kPageAddressMask
                                : static_cast<uint32_t>(block) << geometry::kBlockShift;
  plan.count_base = static_cast<uint64_t>(block) * geometry::kBlock;

  // Main-area block 0 ends at the low 16 bits of the image size (the
  // image's first 60 KB); everywhere else the image size bounds the work.
  const uint64_t size_in_block = size & (geometry::kBlock - 1);
  const uint64_t area_end = main_mode && block == 0 ? size_in_block : size;
  plan.program_end = area_end;

  const FlashTraits& traits = rFlashTraits();
  if (plan.path == BlockPath::kWhole) {
    plan.flash_start = plan.block_start;
    plan.erase_opcode = traits.block_erase.opcode;
    plan.erase_step = traits.block_erase.step;
    plan.erase_size = traits.block_erase.size;
    FlashState.EraseEnd = ullWholeBlockEraseEnd();
    plan.erase_count = uiWholeBlockEraseCount(traits.block_erase, FlashState.EraseEnd);
    plan.erase_check_end =
        main_mode && FlashState.ImageSize > static_cast<int64_t>(geometry::kBlock)
            ? size + geometry::kMainAreaOffset
            : size;
    plan.erase_check_mark_every = kCheckMarkEvery;
    plan.program_pages = geometry::kPagesPerBlock;
  } else {
    const bool boot = plan.path == BlockPath::kBootBlock;
    const uint32_t area_offset = plan.path == BlockPath::kBootBlock  ? 0
                                 : plan.path == BlockPath::kMainArea ? geometry::kMainAreaOffset
                                                                     : geometry::kBackupAreaOffset;
    plan.flash_start = plan.block_start + area_offset;
    plan.erase_opcode = traits.sector_erase.opcode;
    plan.erase_step = traits.sector_erase.step;
    plan.erase_size = traits.sector_erase.size;
    plan.erase_count = boot ? kBootBlockSectors : kCodeAreaSectors;
    plan.erase_check_end = area_end;
    plan.erase_check_mark_every =
        FlashState.BbkMode == 1 ? kBootBlockCheckMarkEvery : kCheckMarkEvery;
    plan.program_pages = static_cast<uint16_t>(plan.erase_count * kPagesPerSector);
  }

  if (!main_mode) {
    plan.verify_end = size;
  } else if (block == 0) {
    plan.verify_end = size_in_block;
  } else {
    plan.verify_end = size + geometry::kMainAreaOffset;
  }
  plan.verify_mark_every = FlashState.BbkMode == 1 ? kBootBlockCheckMarkEvery : kCheckMarkEvery;
  plan.image_base = static_cast<uint64_t>(FlashState.BlockBase) * geometry::kBlock;
  if (main_mode && block != 0) plan.image_base -= geometry::kMainAreaOffset;
}
