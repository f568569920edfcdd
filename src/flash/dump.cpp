#include "flash/dump.h"

#include "flash/operation_frame.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

constexpr uint32_t kPageShift = 10;  // sizes in KB
constexpr uint32_t kReadBufferSize = 0x8000;
constexpr const char* kDumpFileName = "XQRFW.bin";
constexpr int32_t kDumpChunkK = 32;
constexpr int32_t kMaxDumpK = 16384;

// What the dump holds, so that a time-out can release it.
uint8_t* g_read_buffer = nullptr;
pf::FILE* g_file = nullptr;

}  // namespace

void vReleaseDumpResources() {
  if (g_read_buffer != nullptr) {
    FreePool(g_read_buffer);
    if (FlashState.ReadBuffer == g_read_buffer) FlashState.ReadBuffer = nullptr;
  }
  g_read_buffer = nullptr;
  if (g_file != nullptr) {
    if (FlashState.ImageFile == g_file) FlashState.ImageFile = nullptr;
    pf::fclose(g_file);
  }
  g_file = nullptr;
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
  g_read_buffer = FlashState.ReadBuffer;

  (void)bOpenOperationFrame(kDumpFrame);
  vReadSPIDeviceID();
  const uint32_t capacity = FlashState.FlashCapacity;
  if (capacity != 0 && static_cast<uint32_t>(dumped_k) > (capacity >> kPageShift)) {
    pf::printf("\n\rDump size %dK is beyond the %dK flash!\n\n", static_cast<int>(dumped_k),
               static_cast<int>(capacity >> kPageShift));
    vCloseOperationFrame();
    return 1;
  }
  // Opened only now: a refused dump leaves an existing file as it was. As
  // root in a shared folder the name may be a link planted there: the dump
  // replaces the name, and takes its place only once it is whole.
  FlashState.ImageFile = pf::OpenReplacement(kDumpFileName);
  if (FlashState.ImageFile == nullptr) {
    pf::printf("open XQRFW.bin fail");
    vCloseOperationFrame();
    return 1;
  }
  g_file = FlashState.ImageFile;
  vSaveFlashToFile();

  // In place before the hand-back: a dump read whole stays even when giving
  // the EC or the keyboard back fails; one cut short never takes the name.
  pf::FILE* file = FlashState.ImageFile;
  FlashState.ImageFile = nullptr;
  g_file = nullptr;
  if (FlashState.SaveFailed != 0) {
    pf::DiscardReplacement(file);
  } else if (pf::CommitReplacement(file) != 0) {
    FlashState.SaveFailed = 1;
    pf::printf("-- Save Fail!");
  }
  vCloseOperationFrame();
  if (FlashState.SaveFailed != 0) return 1;
  pf::printf("-- Save OK!");
  return 0;
}
