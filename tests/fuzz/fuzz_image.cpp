// The image load and the block geometry: images of random size and contents
// (larger than the flash too), the whole-block path and the /BK /Mn /Bp area
// paths, /O offsets aligned, unaligned, negative and past the end, on small
// chips, the 64 KB-only part and the board IDs that change the frame or the
// geometry. The flash starts filled with a pattern, and what it must hold
// afterwards is worked out here from the request alone: a refusal leaves it
// byte for byte as it was; a success leaves the image exactly where the path
// and offset put it, 0xFF over the rest of what the path erases and the
// pattern everywhere else. The image buffer is exactly as large as the file,
// so a read past it is caught.
//
// Input layout: byte 0 the chip (bits 0-2), the board ID (3-4), the form of
// the size parameter (5-6) and whether it is the free one (7); byte 1 the
// path (0-2), the extra option (3-5: /j, /k, /e or a second area option) and
// that second area (6-7); byte 2 the size class, bytes 3-5 the image size
// within it; byte 6 the offset's kind, bytes 7-9 its value; bytes 10-13 a
// free size parameter; byte 14 the flash pattern; the rest the image
// contents (repeated as needed).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_board.h"
#include "support/request_oracle.h"

namespace {

using oracle::Expect;
using oracle::Footprint;
using oracle::FootprintOf;
using oracle::kAddressSpace;
using oracle::kBlock;
using oracle::kCodeArea;
using oracle::kPathOption;
using oracle::kSector;
using oracle::OffsetText;
using oracle::Outcome;
using oracle::Part;
using oracle::Path;
using oracle::Request;

// The small parts keep runs short; the 64 KB-only part is the one large one.
const Part kParts[] = {
    oracle::PartOf("mx25l512"), oracle::PartOf("sst25vf512a"), oracle::PartOf("xqr-a"),
    oracle::PartOf("xqr"),      oracle::PartOf("m25p80"),
};

// A plain board, the board that needs a pre-enter command, and the two
// boards that write a 256 KB image as two blocks.
constexpr uint16_t kBoardIds[] = {0x5512, TOLVI_MODE_SELECT_MODEL, TOLVI_HALF_BLOCK_MODEL_1,
                                  TOLVI_HALF_BLOCK_MODEL_2};

// A run costs what the program writes, and a 64 KB write costs as much as a
// hundred small runs; so nearly every image is small, and the images over a
// block (the main area's 60 KB plus a block, a block and a bit, 256 KB, which
// the half-block boards write as two blocks) and those larger than the chip
// come now and then, on parts that refuse them before writing (the geometry
// test writes such images whole).
enum class SizeClass { kSmall, kLarger, kOverChip, kMultiBlock };

SizeClass ClassOf(uint32_t range) {
  if (range < 232) return SizeClass::kSmall;
  if (range < 240) return SizeClass::kLarger;
  if (range < 248) return SizeClass::kOverChip;
  return SizeClass::kMultiBlock;
}

int64_t ImageSize(SizeClass size_class, uint32_t value, const Part& part) {
  switch (size_class) {
    case SizeClass::kSmall:
      return value % 0x1001;
    case SizeClass::kLarger:
      return value % 0x2001;
    case SizeClass::kOverChip:
      return part.size + value % 0x1001;
    case SizeClass::kMultiBlock:
      break;
  }
  switch (value % 3) {
    case 0:
      return kCodeArea + kBlock;
    case 1:
      return kBlock + (value >> 2) % 0x801;
    default:
      return 0x3F000 + (value >> 2) % 0x2001;
  }
}

int64_t Offset(uint32_t kind, uint32_t value, const Part& part) {
  const int64_t v = value;
  switch (kind & 7) {
    case 0:
      return kSector * (v % 24);
    case 1:
      return kBlock * (v % 20);
    case 2:
      // Mostly off the erase unit: whole pages and part pages.
      return v % 0x20000;
    case 3:
      return -1 - v % 0x20000;
    case 4:
      return part.size - kSector * (v % 17);
    case 5:
      return kAddressSpace - kSector * (v % 33);
    case 6:
      return 0x400 * (v % 128);
    default:
      return v;
  }
}

fuzzboard::FuzzBoard g_board;

uint32_t Bytes(const uint8_t* data, size_t size, size_t at, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    value = value << 8 | (at + i < size ? data[at + i] : 0);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzboard::EnterScratchDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t setup = Bytes(data, size, 0, 1);
  const uint32_t options = Bytes(data, size, 1, 1);
  const uint16_t board_id = kBoardIds[(setup >> 3) & 3];
  const SizeClass size_class = ClassOf(Bytes(data, size, 2, 1));
  const uint32_t offset_kind = Bytes(data, size, 6, 1);
  const bool has_offset = (offset_kind & 8) != 0;
  size_t part_index = (setup & 7) % (sizeof kParts / sizeof kParts[0]);
  // The known capacity refuses what is larger than the chip; a chip of
  // unknown size would take it all before the wrap is caught.
  if (size_class == SizeClass::kOverChip && kParts[part_index].capacity == 0) part_index = 3;
  // Over a block only on the 64 KB parts, or with a negative offset, which
  // refuses it at once.
  const bool negative_offset = has_offset && (offset_kind & 7) == 3;
  if (size_class == SizeClass::kMultiBlock && !negative_offset) part_index = setup & 1;
  const Part& part = kParts[part_index];
  const int64_t image_size = ImageSize(size_class, Bytes(data, size, 3, 3), part);
  const int64_t offset = has_offset ? Offset(offset_kind, Bytes(data, size, 7, 3), part) : 0;
  const int32_t free_size = static_cast<int32_t>(Bytes(data, size, 10, 4));
  const uint8_t pattern = static_cast<uint8_t>(Bytes(data, size, 14, 1));
  const size_t header = 15;

  std::vector<uint8_t> image(static_cast<size_t>(image_size));
  for (size_t i = 0; i < image.size(); ++i) {
    image[i] = size > header ? data[header + i % (size - header)] : static_cast<uint8_t>(i);
  }
  fuzzboard::WriteFile("img.bin", image);

  const int64_t size_k = (image_size + 0x3FF) >> 10;
  int64_t size_parameter = size_k;
  switch ((setup >> 5) & 3) {
    case 0:
      size_parameter = 0;
      break;
    case 1:
      break;
    case 2:
      size_parameter = (setup & 0x80) != 0 ? free_size : size_k;
      break;
    default:
      size_parameter = size_k + 1;
      break;
  }
  // /F: what is judged here is where an image lands, not whether it looks
  // like firmware (a short or one-valued image is refused without it, and
  // that refusal has a test of its own).
  std::vector<std::string> arguments = {"img.bin", std::to_string(size_parameter), "/F"};
  // The area paths erase a whole area whatever the image: rarer than the
  // whole-block path.
  const Path path = (options & 7) < 5 ? Path::kWhole : static_cast<Path>((options & 7) - 4);
  if (path != Path::kWhole) arguments.push_back(kPathOption[static_cast<int>(path)]);
  // Now and then a second area option on top: the runs are only checked for
  // giving the machine back.
  const uint32_t extra = (options >> 3) & 7;
  const bool mixed = extra == 4;
  if (mixed) arguments.push_back(kPathOption[1 + (options >> 6) % 3]);
  if (has_offset) {
    arguments.push_back("/O");
    arguments.push_back(OffsetText(offset));
  }
  if (extra == 1) arguments.push_back("/j");
  if (extra == 2) arguments.push_back("/k");
  if (extra == 3) arguments.push_back("/e");

  // Made again only when the chip or the pattern changes: a 1 MB flash
  // filled per run would cost more than many runs.
  static std::vector<uint8_t> before;
  static const Part* before_part = nullptr;
  static uint8_t before_pattern = 0;
  if (before_part != &part || before_pattern != pattern) {
    before.resize(static_cast<size_t>(part.size));
    for (size_t a = 0; a < before.size(); ++a) {
      before[a] = static_cast<uint8_t>(pattern ^ (a >> 8) ^ (a * 0x3B));
    }
    before_part = &part;
    before_pattern = pattern;
  }

  const Request q = {&part, image_size, path, offset,
                     size_parameter == 0 || size_parameter == size_k};
  const bool halved = size_k == 256 && (board_id == TOLVI_HALF_BLOCK_MODEL_1 ||
                                        board_id == TOLVI_HALF_BLOCK_MODEL_2);
  // Two area options, or a board that halves the image, put the image where
  // this file does not work out; only the size parameter's refusal is sure.
  Outcome expected = Expect(q);
  if (mixed || halved)
    expected = q.size_matches ? Outcome::kUnjudged : Outcome::kRefusedBeforePorts;

  fuzzboard::ArgvCopy argv(arguments);
  g_board.Start(part.name, board_id, before);
  const int status = tolvi::main(argv.argc(), argv.argv());
  g_board.CheckEnd(status);
  const std::vector<uint8_t>& flash = g_board.rig->flash;

  using fuzzboard::FuzzBoard;
  if (q.size == 0 && flash != before) FuzzBoard::Fail("an empty image changed the flash");
  switch (expected) {
    case Outcome::kRefusedBeforePorts:
      if (g_board.rig->board.Ec().FlashModeEntries() != 0) {
        FuzzBoard::Fail("a request refusable from the command line reached flash mode");
      }
      [[fallthrough]];
    case Outcome::kRefusedAfterId:
      if (status != 1) FuzzBoard::Fail("a request that cannot be written was not refused");
      if (flash != before) FuzzBoard::Fail("a refused update changed the flash");
      break;
    case Outcome::kWritten: {
      if (status != 0) FuzzBoard::Fail("a request that fits the chip failed");
      // The pattern below and above what the path erases, 0xFF around the
      // image inside it, and the image where it was asked.
      const Footprint f = FootprintOf(q);
      const auto at = [&flash](int64_t address) { return flash.begin() + address; };
      const auto was = [](int64_t address) { return before.begin() + address; };
      const int64_t image_end = f.image_at + image_size;
      const auto erased = [](uint8_t byte) { return byte == 0xFF; };
      if (!std::equal(at(0), at(f.begin), was(0)) ||
          !std::equal(at(f.end), flash.end(), was(f.end))) {
        FuzzBoard::Fail("a byte outside the written range changed");
      }
      if (!std::all_of(at(f.begin), at(f.image_at), erased) ||
          !std::all_of(at(image_end), at(f.end), erased)) {
        FuzzBoard::Fail("a byte the path erases around the image is not erased");
      }
      if (!std::equal(image.begin(), image.end(), at(f.image_at))) {
        FuzzBoard::Fail("the image is not where it was asked");
      }
      break;
    }
    case Outcome::kUnjudged:
      break;
  }
  g_board.Stop();
  return 0;
}
