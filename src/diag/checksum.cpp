// Image checksum (/c): the 16-bit sum of every byte of a file.
#include "tolvi.h"

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
  int64_t length = pf::ftell(FlashState.ImageFile);
  pf::fseek(FlashState.ImageFile, 0, pf::kSeekSet);
  if (length < 0) length = 0;
  FlashState.ImageSize = length;
  FlashState.ProgrammedCount = 0;
  FlashState.ImageData = static_cast<uint8_t*>(AllocatePool(static_cast<size_t>(length)));
  size_t loaded = 0;
  if (FlashState.ImageData != nullptr)
    loaded = pf::fread(FlashState.ImageData, 1, static_cast<size_t>(length), FlashState.ImageFile);
  if (length > 0 && (FlashState.ImageData == nullptr || loaded != static_cast<size_t>(length))) {
    // A sum over part of the file would look like a valid answer.
    pf::fclose(FlashState.ImageFile);
    FlashState.ImageFile = nullptr;
    Print(u"\n\rFile Read Fail!");
    FlashState.ChecksumFailed = 1;
    return;
  }

  uint16_t sum = 0;
  for (size_t i = 0; i < loaded; ++i) sum = static_cast<uint16_t>(sum + FlashState.ImageData[i]);
  pf::printf("\n\rEC file %s checksum : %04X", FlashState.ImagePath, static_cast<unsigned>(sum));
  pf::fclose(FlashState.ImageFile);
  FlashState.ImageFile = nullptr;
}
