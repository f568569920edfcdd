// The image load and the block geometry: images of random size and contents,
// with random combinations of /BK, /Mn, /Bp, /O and the size parameter, on
// small chips and on the board IDs that change the geometry. The image buffer
// is exactly as large as the file, so a read past it is caught.
//
// Input layout: byte 0 the options, byte 1 the chip, the board ID and the
// form of the size parameter, byte 2 the size range, bytes 3-5 the image
// size within it, bytes 6-8 the /O offset, bytes 9-12 a free size parameter,
// the rest the image contents (repeated as needed).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_board.h"

namespace {

// Most images are small, so that many runs fit in the time; some cross a
// block boundary, and some lie around 256 KB, which the half-block boards
// write as two blocks.
uint32_t ImageSize(uint32_t range, uint32_t value) {
  switch (range & 3) {
    case 0:
      return value % 0x2001;
    case 1:
      return value % 0x20001;
    case 2:
      return 0x3F000 + value % 0x2001;
    default:
      return value % 0x4001;
  }
}

constexpr const char* kChips[] = {"mx25l512", "sst25vf512a", "xqr-a", "xqr"};
// A plain board, the board that needs a pre-enter command, and the two
// boards that write a 256 KB image as two blocks.
constexpr uint16_t kBoardIds[] = {0x5512, TOLVI_MODE_SELECT_MODEL, TOLVI_HALF_BLOCK_MODEL_1,
                                  TOLVI_HALF_BLOCK_MODEL_2};

fuzzboard::FuzzBoard g_board;

uint32_t Bytes(const uint8_t* data, size_t size, size_t at, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    value = value << 8 | (at + i < size ? data[at + i] : 0);
  }
  return value;
}

std::string HexText(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzboard::EnterScratchDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t options = Bytes(data, size, 0, 1);
  const uint32_t setup = Bytes(data, size, 1, 1);
  const uint32_t image_size = ImageSize(Bytes(data, size, 2, 1), Bytes(data, size, 3, 3));
  const uint32_t offset = Bytes(data, size, 6, 3);
  const int32_t free_size = static_cast<int32_t>(Bytes(data, size, 9, 4));
  const size_t header = 13;

  std::vector<uint8_t> image(image_size);
  for (uint32_t i = 0; i < image_size; ++i) {
    image[i] = size > header ? data[header + i % (size - header)] : static_cast<uint8_t>(i);
  }
  fuzzboard::WriteFile("img.bin", image);

  const uint32_t size_k = (image_size + 0x3FF) >> 10;
  std::vector<std::string> arguments = {"img.bin"};
  switch ((setup >> 4) & 3) {
    case 0:
      arguments.push_back("0");
      break;
    case 1:
      arguments.push_back(std::to_string(size_k));
      break;
    case 2:
      arguments.push_back(std::to_string(free_size));
      break;
    default:
      arguments.push_back(std::to_string(size_k + 1));
      break;
  }
  if (options & 0x01) arguments.push_back("/BK");
  if (options & 0x02) arguments.push_back("/Mn");
  if (options & 0x04) arguments.push_back("/Bp");
  if (options & 0x08) {
    arguments.push_back("/O");
    arguments.push_back(HexText(offset));
  }
  if (options & 0x10) arguments.push_back("/j");
  if (options & 0x20) arguments.push_back("/k");
  if (options & 0x40) arguments.push_back("/e");

  const char* chip = kChips[setup & 3];
  const uint16_t board_id = kBoardIds[(setup >> 2) & 3];
  fuzzboard::ArgvCopy argv(arguments);
  g_board.Start(chip, board_id);
  const int status = tolvi::main(argv.argc(), argv.argv());
  g_board.CheckEnd(status);

  // A plain update from address 0 that was accepted and reported success
  // leaves the whole image in the flash.
  const bool plain = (options & 0x0F) == 0 || ((options & 0x0F) == 0x08 && offset < 0x100);
  const bool halved = size_k == 256 && (board_id == TOLVI_HALF_BLOCK_MODEL_1 ||
                                        board_id == TOLVI_HALF_BLOCK_MODEL_2);
  if (status == 0 && plain && !halved && image_size <= g_board.rig->flash.size()) {
    for (uint32_t i = 0; i < image_size; ++i) {
      if (g_board.rig->flash[i] != image[i]) fuzzboard::FuzzBoard::Fail("image not in the flash");
    }
  }
  g_board.Stop();
  return 0;
}
