// Image checksum (/c): the 16-bit sum of every byte of a file.
#include "tolvi.h"

namespace {
constexpr int64_t kMaxFileLength = 0x7FFFFFFF;

// Nothing uses the bytes after the sum; released here rather than left to the
// end of the program, so that a caller running the program again (the board
// harness, the test bench) starts without them.
void vReleaseChecksumFile() {
  if (FlashState.ImageData != nullptr) {
    FreePool(FlashState.ImageData);
    FlashState.ImageData = nullptr;
  }
  pf::fclose(FlashState.ImageFile);
  FlashState.ImageFile = nullptr;
}
}  // namespace

void vShowImageChecksum(int argc, char** argv) {
  // The file name is entry 2 wherever /c stood, so "/k /c x" checksums a file
  // named "/c". A line too short to have an entry 2 names no file at all.
  FlashState.ImagePath = argc > 2 ? argv[2] : nullptr;
  FlashState.ImageFile =
      FlashState.ImagePath != nullptr ? pf::fopen(FlashState.ImagePath, "rb") : nullptr;
  if (FlashState.ImageFile == nullptr) {
    Print(u"\n\rFile Open Fail!");
    FlashState.ChecksumFailed = 1;
    return;
  }

  pf::fseek(FlashState.ImageFile, 0, pf::kSeekEnd);
  const int64_t length = pf::ftell(FlashState.ImageFile);
  pf::fseek(FlashState.ImageFile, 0, pf::kSeekSet);
  // File positions are signed 32-bit counts; anything else is no image (a
  // directory reports a length it cannot deliver).
  const bool measurable = length >= 0 && length <= kMaxFileLength;
  FlashState.ImageSize = measurable ? length : 0;
  FlashState.ProgrammedCount = 0;
  const size_t size = static_cast<size_t>(FlashState.ImageSize);
  FlashState.ImageData = static_cast<uint8_t*>(AllocatePool(size));
  size_t loaded = 0;
  if (FlashState.ImageData != nullptr)
    loaded = pf::fread(FlashState.ImageData, 1, size, FlashState.ImageFile);
  if (!measurable || (size > 0 && (FlashState.ImageData == nullptr || loaded != size))) {
    // A sum over part of the file would look like a valid answer.
    vReleaseChecksumFile();
    Print(u"\n\rFile Read Fail!");
    FlashState.ChecksumFailed = 1;
    return;
  }

  uint16_t sum = 0;
  for (size_t i = 0; i < loaded; ++i) sum = static_cast<uint16_t>(sum + FlashState.ImageData[i]);
  pf::printf("\n\rEC file %s checksum : %04X", FlashState.ImagePath, static_cast<unsigned>(sum));
  vReleaseChecksumFile();
}
