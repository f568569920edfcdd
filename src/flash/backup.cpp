// /b: what the flash holds wherever the update will erase, read before the
// first erase and saved as an image in the update's own geometry, so that
// flashing the file with the same options puts every erased byte back.
#include "flash/backup.h"

#include "flash/block_compare.h"
#include "flash/flash_engine.h"

namespace {

// Bytes from the plan's flash start that the block's erase reaches: the
// erase commands of the plain update, or /U's erase units over the range it
// writes.
uint32_t uiErasedExtent(const BlockPlan& plan) {
  const uint32_t written = uiPlanExtent(plan);
  if (FlashState.ChangedOnlyMode == 1) {
    const uint32_t unit = plan.erase_size;
    return (written + unit - 1) / unit * unit;
  }
  uint64_t end = written;
  for (uint32_t i = 0; i < plan.erase_count; ++i) {
    const uint64_t command = plan.flash_start + static_cast<uint64_t>(i) * plan.erase_step;
    const uint64_t erased_end = (command & ~static_cast<uint64_t>(plan.erase_size - 1)) +
                                plan.erase_size - plan.flash_start;
    if (erased_end > end) end = erased_end;
  }
  return static_cast<uint32_t>(end);
}

// Calls `step` with every block planned, then leaves BlockNum at 0.
template <typename Step>
void vForEachPlannedBlock(Step step) {
  for (FlashState.BlockNum = 0; FlashState.BlockNum < FlashState.MaxBlockNum;
       FlashState.BlockNum = static_cast<uint8_t>(FlashState.BlockNum + 1)) {
    vPlanBlock();
    step(FlashState.Plan);
  }
  FlashState.BlockNum = 0;
}

bool bWriteBackupFile() {
  pf::FILE* file = FlashState.BackupFile;
  FlashState.BackupFile = nullptr;
  const size_t size = static_cast<size_t>(FlashState.BackupSize);
  if (pf::fwrite(FlashState.BackupData, 1, size, file) != size) {
    pf::DiscardReplacement(file);
    return false;
  }
  return pf::CommitReplacement(file) == 0;
}

}  // namespace

bool bOpenBackupFile() {
  const char* path = FlashState.BackupPath;
  if (path == nullptr) return true;
  // The image's own name would lose the image.
  if (pf::strcmp(path, FlashState.ImagePath) == 0) {
    pf::printf("\n\rBackup file %s is the image: name another!\n\n", path);
    return false;
  }
  if (!pf::IsSpecialFile(path)) FlashState.BackupFile = pf::OpenReplacement(path);
  if (FlashState.BackupFile == nullptr) {
    pf::printf("\n\rBackup file %s cannot be created!\n\n", path);
    return false;
  }
  return true;
}

bool bSaveBackup() {
  if (FlashState.BackupFile == nullptr) return true;
  uint64_t size = 0;
  vForEachPlannedBlock([&size](const BlockPlan& plan) {
    const uint64_t end = plan.image_base + uiErasedExtent(plan);
    if (end > size) size = end;
  });
  Print(u"\n\rBackup...         : ");
  FlashState.BackupSize = size;
  FlashState.BackupData = size != 0 ? static_cast<uint8_t*>(AllocatePool(size)) : nullptr;
  if (size != 0 && FlashState.BackupData == nullptr) {
    Print(u" -- Backup Fail: not enough memory. \n");
    return false;
  }
  // Image offsets no block writes (the half-block board's other half) stay
  // as an erased flash would hold them.
  if (size != 0) __builtin_memset(FlashState.BackupData, 0xFF, size);
  vForEachPlannedBlock([](const BlockPlan& plan) {
    const uint32_t extent = uiErasedExtent(plan);
    vOpenReadPass(plan.flash_start);
    for (uint32_t d = 0; d < extent; ++d) {
      FlashState.BackupData[plan.image_base + d] = ucReadSpiData();
      if (d % geometry::kSector4K == 0) vPrintProgressMark();
    }
    vCloseReadPass();
  });
  if (!bWriteBackupFile()) {
    pf::printf(" -- Backup Fail: %s not written. \n", FlashState.BackupPath);
    return false;
  }
  FlashState.BackupSaved = 1;
  Print(u" -- Backup OK. \n");
  return true;
}

bool bSavedFlashByte(uint64_t image_offset, uint8_t* byte) {
  if (FlashState.BackupData == nullptr || image_offset >= FlashState.BackupSize) return false;
  *byte = FlashState.BackupData[image_offset];
  return true;
}

void vReleaseBackup() {
  if (FlashState.BackupFile != nullptr) pf::DiscardReplacement(FlashState.BackupFile);
  FlashState.BackupFile = nullptr;
  if (FlashState.BackupData != nullptr) FreePool(FlashState.BackupData);
  FlashState.BackupData = nullptr;
}
