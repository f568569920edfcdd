#include "flash/image_rules.h"

#include "flash/block_plan.h"
#include "flash/flash_traits.h"
#include "flash/geometry.h"
#include "tolvi.h"

namespace {

constexpr uint64_t kAddressSpace = 0x1000000;  // three address bytes
constexpr uint32_t kKilobyte = 1024;
// BlockNum is 8 bits and doubles as the block's high address byte.
constexpr uint64_t kMaxBlocks = 255;
// An error page is text from its first byte; firmware has binary bytes
// (vectors, code, padding) within its first sectors.
constexpr int64_t kTextWindow = 4096;

bool bTextByte(uint8_t byte) {
  return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\n' || byte == '\v' ||
         byte == '\f' || byte == '\r';
}

bool bAreaPath() {
  return FlashState.BbkMode == 1 || FlashState.MainMode == 1 || FlashState.BackupMode == 1;
}

// The last flash address the planned block erases or programs.
uint64_t ullPlanLastAddress(const BlockPlan& plan) {
  uint64_t last = plan.flash_start;
  if (plan.erase_count != 0) {
    const uint64_t size = plan.erase_size;
    const uint64_t last_erase =
        plan.flash_start + static_cast<uint64_t>(plan.erase_count - 1) * plan.erase_step;
    last = (last_erase & ~(size - 1)) + size - 1;
  }
  if (plan.program_end > plan.count_base) {
    uint64_t span = plan.program_end - plan.count_base;
    if (span > geometry::kBlock) span = geometry::kBlock;
    const uint64_t programmed = plan.flash_start + span - 1;
    if (programmed > last) last = programmed;
  }
  return last;
}

// Sizes the block paths would write wrongly: the loops' bounds would not
// match the image.
bool bRefuseAreaSize() {
  const int64_t size = FlashState.ImageSize;
  const int64_t code_area = geometry::kCodeAreaSize;
  if (FlashState.MaxBlockNum > kMaxBlocks) {
    pf::printf("\n\rImage too large: at most 255 blocks (0xFF0000 bytes) can be written!\n\n");
    return true;
  }
  if (FlashState.BbkMode == 1 && size > static_cast<int64_t>(geometry::kBootBlockSize)) {
    pf::printf("\n\rImage too large for the BBK sector (at most 4K)!\n\n");
    return true;
  }
  if (FlashState.MainMode == 1 && size > code_area &&
      (size - code_area) % static_cast<int64_t>(geometry::kBlock) != 0) {
    pf::printf(
        "\n\rImage size does not fit the Main code area (60K, or 60K plus whole 64K blocks)!\n\n");
    return true;
  }
  if (FlashState.BackupMode == 1 && size > code_area) {
    pf::printf("\n\rImage too large for the Backup code area (at most 60K)!\n\n");
    return true;
  }
  return false;
}

bool bRefuseOffset() {
  const int64_t offset = FlashState.StartOffset;
  if (offset < 0) {
    pf::printf("\n\rOffset -0x%llX is below the start of the flash!\n\n",
               static_cast<unsigned long long>(-static_cast<uint64_t>(offset)));
    return true;
  }
  if (offset == 0) return false;
  if (FlashState.MaxBlockNum > 1) {
    pf::printf(
        "\n\rOffset 0x%llX with a %lluK image:\n\r"
        "only a one-block image (at most 64K) can be written at an offset!\n\n",
        static_cast<unsigned long long>(offset),
        static_cast<unsigned long long>(FlashState.PageCount));
    return true;
  }
  // The area paths erase their whole area whatever the image's size.
  uint64_t reach = static_cast<uint64_t>(FlashState.ImageSize);
  if (FlashState.BbkMode == 1) {
    reach = geometry::kBootBlockSize;
  } else if (FlashState.MainMode == 1) {
    reach = geometry::kMainAreaOffset + geometry::kCodeAreaSize;
  } else if (FlashState.BackupMode == 1) {
    reach = geometry::kBackupAreaOffset + geometry::kCodeAreaSize;
  }
  if (static_cast<uint64_t>(offset) + reach > kAddressSpace) {
    pf::printf("\n\rOffset 0x%llX with a %lluK image runs past 0xFFFFFF!\n\n",
               static_cast<unsigned long long>(offset),
               static_cast<unsigned long long>(FlashState.PageCount));
    return true;
  }
  return false;
}

}  // namespace

bool bRefuseImageGeometry() { return bRefuseAreaSize() || bRefuseOffset(); }

bool bRefuseChipGeometry() {
  const FlashTraits& traits = rFlashTraits();
  if (bAreaPath() && traits.sector_erase.size > geometry::kSector4K) {
    pf::printf(
        "\n\rThis flash erases %uK at once:\n\r"
        "the BBK, Main and Backup areas cannot be written alone!\n\n",
        static_cast<unsigned>(traits.sector_erase.size / kKilobyte));
    return true;
  }
  const uint32_t unit = bAreaPath() ? traits.sector_erase.size : traits.block_erase.size;
  const uint64_t offset = static_cast<uint64_t>(FlashState.StartOffset);
  if (offset % unit != 0) {
    pf::printf("\n\rOffset 0x%llX is not a multiple of this flash's %uK erase!\n\n",
               static_cast<unsigned long long>(offset), static_cast<unsigned>(unit / kKilobyte));
    return true;
  }
  uint64_t last = 0;
  for (FlashState.BlockNum = 0; FlashState.BlockNum < FlashState.MaxBlockNum;
       FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1)) {
    vPlanBlock();
    const uint64_t block_last = ullPlanLastAddress(FlashState.Plan);
    if (block_last > last) last = block_last;
  }
  FlashState.BlockNum = 0;
  const uint64_t capacity = FlashState.FlashCapacity;
  if (capacity != 0 && FlashState.MaxBlockNum != 0 && last >= capacity) {
    pf::printf("\n\rThe update reaches 0x%llX, beyond this %lluK flash (0x0-0x%llX)!\n\n",
               static_cast<unsigned long long>(last),
               static_cast<unsigned long long>(capacity / kKilobyte),
               static_cast<unsigned long long>(capacity - 1));
    return true;
  }
  return false;
}

bool bRefuseWrongDownload() {
  if (FlashState.ForceImage == 1) return false;
  const int64_t size = FlashState.ImageLoaded;
  const uint8_t* data = FlashState.ImageData;
  if (size <= 0 || data == nullptr) {
    pf::printf("\n\rImage refused: the file is empty; /F takes it anyway.\n\n");
    return true;
  }
  int64_t same = 1;
  while (same < size && data[same] == data[0]) ++same;
  if (same == size) {
    // All 0xFF is an erased flash: the EC would have no code to run.
    pf::printf("\n\rImage refused: every byte is 0x%02X, no firmware; /F takes it anyway.\n\n",
               static_cast<unsigned>(data[0]));
    return true;
  }
  const int64_t window = size < kTextWindow ? size : kTextWindow;
  int64_t text = 0;
  while (text < window && bTextByte(data[text])) ++text;
  if (text == window) {
    pf::printf("\n\rImage refused: text, not firmware (an error page?); /F takes it anyway.\n\n");
    return true;
  }
  return false;
}
