// The dispatch: runs the one operation the options select, with the image
// load of the update and the outer frame of the flash dump.
#include "app/dispatch.h"

#include "flash/geometry.h"
#include "flash/operation_frame.h"
#include "flash/update_bounds.h"
#include "platform/platform.h"
#include "platform/whole_file.h"
#include "tolvi.h"

namespace {

constexpr uint32_t kPageShift = 10;  // sizes in KB
// BlockNum is 8 bits and doubles as the block's high address byte.
constexpr uint64_t kMaxBlocks = 255;
constexpr uint32_t kReadBufferSize = 0x8000;
constexpr const char* kDumpFileName = "XQRFW.bin";
constexpr int32_t kDumpChunkK = 32;
constexpr int32_t kMaxDumpK = 16384;

// What the front end holds (the image and its file, or the dump's file), so
// that a refusal or a time-out can release it.
WholeFile g_held;
uint8_t* g_own_read_buffer = nullptr;

uint64_t ullRoundUp(int64_t size, uint32_t shift) {
  uint64_t bytes = static_cast<uint64_t>(size);
  uint64_t mask = (uint64_t{1} << shift) - 1;
  return (bytes >> shift) + ((bytes & mask) != 0 ? 1 : 0);
}

// Sizes the block paths would write wrongly (the loops' bounds would not
// match the image), refused before anything is allocated or sent.
int iRefuseImageGeometry() {
  const int64_t size = FlashState.ImageSize;
  const int64_t code_area = geometry::kCodeAreaSize;
  if (FlashState.MaxBlockNum > kMaxBlocks) {
    pf::printf("\n\rImage too large: at most 255 blocks (0xFF0000 bytes) can be written!\n\n");
    return 1;
  }
  if (FlashState.BbkMode == 1 && size > static_cast<int64_t>(geometry::kBootBlockSize)) {
    pf::printf("\n\rImage too large for the BBK sector (at most 4K)!\n\n");
    return 1;
  }
  if (FlashState.MainMode == 1 && size > code_area &&
      (size - code_area) % static_cast<int64_t>(geometry::kBlock) != 0) {
    pf::printf(
        "\n\rImage size does not fit the Main code area (60K, or 60K plus whole 64K blocks)!\n\n");
    return 1;
  }
  if (FlashState.BackupMode == 1 && size > code_area) {
    pf::printf("\n\rImage too large for the Backup code area (at most 60K)!\n\n");
    return 1;
  }
  return 0;
}

// Releases what the front end holds and forgets it in FlashState.
void vReleaseHeldFile() {
  if (FlashState.ImageData == g_held.data) FlashState.ImageData = nullptr;
  if (FlashState.ImageFile == g_held.file) FlashState.ImageFile = nullptr;
  vReleaseWholeFile(&g_held);
}

}  // namespace

void vReleaseFrontEndResources() {
  if (g_own_read_buffer != nullptr) {
    FreePool(g_own_read_buffer);
    if (FlashState.ReadBuffer == g_own_read_buffer) FlashState.ReadBuffer = nullptr;
  }
  g_own_read_buffer = nullptr;
  vReleaseHeldFile();
}

int iLoadImageAndUpdate() {
  const FileLoad opened = eOpenWholeFile(FlashState.ImagePath, &g_held);
  FlashState.ImageFile = g_held.file;
  if (opened != FileLoad::kOk) {
    Print(u"\n\rFile Open Fail!");
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
  FlashState.MaxBlockNum = ullRoundUp(size, geometry::kBlockShift);
  FlashState.PageCount = ullRoundUp(size, kPageShift);

  Print(u"\n\rFile Size: %dK\n", static_cast<int>(FlashState.PageCount));
  if (FlashState.FileSizeK != 0 &&
      static_cast<uint32_t>(FlashState.FileSizeK) != FlashState.PageCount) {
    pf::printf("\n\rParamter NOT Match with File Size, Please try again!\n\n");
    return 1;
  }
  if (iRefuseImageGeometry() != 0) return 1;
  if (bRefuseUpdateOffset()) return 1;
  Print(u"\n\rBlockNum: %d,  MaxBlock: %d,   PageCount: %d\n",
        static_cast<int>(FlashState.BlockNum), static_cast<int>(FlashState.MaxBlockNum),
        static_cast<int>(FlashState.PageCount));

  // An empty image allocates nothing; the update then writes no block.
  FlashState.ImageLoaded = 0;
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
  }

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

int iSaveFlash() {
  // Whole 32 KB chunks are dumped; a 24-bit address reaches 16 MB.
  const int32_t size_k = FlashState.FileSizeK;
  const int32_t dumped_k = size_k / kDumpChunkK * kDumpChunkK;
  if (dumped_k <= 0 || size_k > kMaxDumpK) {
    pf::printf("\n\rDump size %dK out of range: 32K to %dK, in whole 32K chunks!\n\n",
               static_cast<int>(size_k), static_cast<int>(kMaxDumpK));
    return 1;
  }
  pf::printf("Save FW to XQRFW.bin : ");
  // The file itself is opened only after identification; a target that is no
  // plain file would wait or fail there with the EC in flash mode.
  if (pf::IsSpecialFile(kDumpFileName)) {
    pf::printf("open XQRFW.bin fail");
    return 1;
  }
  FlashState.ReadBuffer = static_cast<uint8_t*>(AllocatePool(kReadBufferSize));
  if (FlashState.ReadBuffer == nullptr) {
    pf::printf("Not enough memory for the read buffer!\n\n");
    return 1;
  }
  g_own_read_buffer = FlashState.ReadBuffer;

  (void)bOpenOperationFrame(kDumpFrame);
  vReadSPIDeviceID();
  const uint32_t capacity = FlashState.FlashCapacity;
  if (capacity != 0 && static_cast<uint32_t>(dumped_k) > (capacity >> kPageShift)) {
    pf::printf("\n\rDump size %dK is beyond the %dK flash!\n\n", static_cast<int>(dumped_k),
               static_cast<int>(capacity >> kPageShift));
    vCloseOperationFrame();
    return 1;
  }
  // Opened only now: a refused dump leaves an existing file as it was.
  FlashState.ImageFile = pf::fopen(kDumpFileName, "wb+");
  if (FlashState.ImageFile == nullptr) {
    pf::printf("open XQRFW.bin fail");
    vCloseOperationFrame();
    return 1;
  }
  g_held.file = FlashState.ImageFile;
  vSaveFlashToFile();
  vCloseOperationFrame();

  // Data the stream still buffers reaches the file only at the close.
  pf::FILE* file = FlashState.ImageFile;
  FlashState.ImageFile = nullptr;
  g_held.file = nullptr;
  if (pf::fclose(file) != 0 && FlashState.SaveFailed == 0) {
    FlashState.SaveFailed = 1;
    pf::printf("-- Save Fail!");
  }
  if (FlashState.SaveFailed != 0) return 1;
  pf::printf("-- Save OK!");
  return 0;
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
      Print(u"\n\rFile Open Fail!");
      return 1;
    }
    vShowImageChecksum(argc, argv);
    return FlashState.ChecksumFailed ? 1 : 0;
  }
  Print(u"\n\rFlash Update Fail!");
  return 1;
}
