// Image checksum (/c): the 16-bit sum of every byte of a file.
#include "platform/whole_file.h"
#include "tolvi.h"

namespace {

// Nothing uses the bytes after the sum; released here rather than left to the
// end of the program, so that a caller running the program again (the board
// harness, the test bench) starts without them.
void vReleaseChecksumFile(WholeFile* whole) {
  vReleaseWholeFile(whole);
  FlashState.ImageData = nullptr;
  FlashState.ImageFile = nullptr;
}

}  // namespace

void vShowImageChecksum(int argc, char** argv) {
  // The file name is entry 2 wherever /c stood, so "/k /c x" checksums a file
  // named "/c". A line too short to have an entry 2 names no file at all.
  FlashState.ImagePath = argc > 2 ? argv[2] : nullptr;
  WholeFile whole;
  if (eOpenWholeFile(FlashState.ImagePath, &whole) != FileLoad::kOk) {
    vShowFileOpenFail(FlashState.ImagePath);
    FlashState.ChecksumFailed = 1;
    return;
  }
  FlashState.ImageFile = whole.file;

  const bool measurable = whole.length >= 0 && whole.length <= kMaxFileLength;
  FlashState.ImageSize = measurable ? whole.length : 0;
  FlashState.ProgrammedCount = 0;
  const size_t size = static_cast<size_t>(FlashState.ImageSize);
  const FileLoad read = eReadWholeFile(&whole, size);
  FlashState.ImageData = whole.data;
  // An empty file sums to 0 whatever the allocation of nothing gave.
  if (!measurable || (size > 0 && read != FileLoad::kOk)) {
    // A sum over part of the file would look like a valid answer.
    vReleaseChecksumFile(&whole);
    Print(u"\n\rFile Read Fail!");
    FlashState.ChecksumFailed = 1;
    return;
  }

  uint16_t sum = 0;
  for (size_t i = 0; i < whole.loaded; ++i) sum = static_cast<uint16_t>(sum + whole.data[i]);
  pf::printf("\n\rEC file %s checksum : %04X", FlashState.ImagePath, static_cast<unsigned>(sum));
  vReleaseChecksumFile(&whole);
}
