// The dispatch: runs the one operation the options select, with the image
// load of the update.
#include "app/dispatch.h"

#include "flash/backup.h"
#include "flash/dump.h"
#include "flash/geometry.h"
#include "flash/image_rules.h"
#include "flash/operation_frame.h"
#include "platform/platform.h"
#include "platform/whole_file.h"
#include "tolvi.h"

namespace {

constexpr uint32_t kPageShift = 10;  // sizes in KB

// The image and its file, so that a refusal or a time-out can release them.
WholeFile g_held;

// How many units of 2^unit_shift bytes `size` bytes take, the last one part
// filled or not.
uint64_t ullUnitCount(int64_t size, uint32_t unit_shift) {
  uint64_t bytes = static_cast<uint64_t>(size);
  uint64_t mask = (uint64_t{1} << unit_shift) - 1;
  return (bytes >> unit_shift) + ((bytes & mask) != 0 ? 1 : 0);
}

// Releases what the front end holds and forgets it in FlashState.
void vReleaseHeldFile() {
  if (FlashState.ImageData == g_held.data) FlashState.ImageData = nullptr;
  if (FlashState.ImageFile == g_held.file) FlashState.ImageFile = nullptr;
  vReleaseWholeFile(&g_held);
}

}  // namespace

void vReleaseFrontEndResources() {
  vReleaseDumpResources();
  vReleaseHeldFile();
  vReleaseBackup();
}

int iLoadImageAndUpdate() {
  const FileLoad opened = eOpenWholeFile(FlashState.ImagePath, &g_held);
  FlashState.ImageFile = g_held.file;
  if (opened != FileLoad::kOk) {
    vShowFileOpenFail(FlashState.ImagePath);
    return 1;
  }
  // Positions are signed 32-bit counts; images of 2 GB or more are not images.
  if (g_held.length < 0 || g_held.length > kMaxFileLength) {
    Print(u"\n\rFile Read Fail!");
    return 1;
  }
  const int32_t size = static_cast<int32_t>(g_held.length);
  FlashState.BlockNum = 0;
  FlashState.BlockBase = 0;
  FlashState.ImageSize = size;
  FlashState.ProgrammedCount = 0;
  FlashState.MaxBlockNum = ullUnitCount(size, geometry::kBlockShift);
  FlashState.PageCount = ullUnitCount(size, kPageShift);

  Print(u"\n\rFile Size: %dK\n", static_cast<int>(FlashState.PageCount));
  if (FlashState.FileSizeK != 0 &&
      static_cast<uint32_t>(FlashState.FileSizeK) != FlashState.PageCount) {
    vShowSizeMismatch(static_cast<uint64_t>(size), FlashState.FileSizeK);
    return 1;
  }
  if (bRefuseImageGeometry()) return 1;
  Print(u"\n\rBlockNum: %d,  MaxBlock: %d,   PageCount: %d\n",
        static_cast<int>(FlashState.BlockNum), static_cast<int>(FlashState.MaxBlockNum),
        static_cast<int>(FlashState.PageCount));

  // An empty image allocates nothing; the update then writes no block.
  FlashState.ImageLoaded = 0;
  if (size == 0 && bRefuseWrongDownload()) return 1;
  if (size > 0) {
    const FileLoad read = eReadWholeFile(&g_held, static_cast<size_t>(size));
    FlashState.ImageData = g_held.data;
    FlashState.ImageLoaded = static_cast<int64_t>(g_held.loaded);
    if (read == FileLoad::kNoMemory) {
      Print(u"\n\rNot enough memory for the image!");
      return 1;
    }
    if (read == FileLoad::kShortRead) {
      Print(u"\n\rFile Read Fail!");
      return 1;
    }
    if (bRefuseWrongDownload()) return 1;
  }
  if (FlashState.CompareMode == 0 && !bOpenBackupFile()) return 1;

  // /D never writes, so it wins over /U.
  if (FlashState.CompareMode == 1) {
    vCompareFlash();
  } else if (FlashState.ChangedOnlyMode == 1) {
    vUpdateChangedFlash();
  } else {
    vUpdateFlash();
  }

  vReleaseHeldFile();
  return FlashState.UpdateFailed != 0 || FlashState.CompareDiffers != 0 ? 1 : 0;
}

int iDispatch(int argc, char** argv) {
  if (FlashState.HasImage == 1) return iLoadImageAndUpdate();
  if (FlashState.SaveMode == 1) return iSaveFlash();
  if (FlashState.TestMode == 1) {
    vRunWriteTest();
    return FlashState.TestFailed ? 1 : 0;
  }
  if (FlashState.ProtectMode == 1) {
    vRunProtection();
    return FlashState.ProtectFailed ? 1 : 0;
  }
  if (FlashState.VersionMode == 1) return iQueryVersion();
  if (FlashState.ChecksumMode == 1) {
    // The file name is entry 2, wherever /c stood.
    if (argc < 3) {
      vShowFileOpenFail(nullptr);
      return 1;
    }
    vShowImageChecksum(argc, argv);
    return FlashState.ChecksumFailed ? 1 : 0;
  }
  vShowNoOperation();
  return 1;
}
