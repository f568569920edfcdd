// The six programming methods on modelled chips: commands on the wire, where
// the image bytes land, the byte count carried across blocks, the marks.
#include <gtest/gtest.h>

#include "tests/unit/flash_unit_board.h"

namespace {

using flashtest::FlashBench;
using flashtest::Marks;

enum class Method { kPages, kPagesCounted, kChunks, kChunksCounted, kAaiByte, kAaiWord };

struct ProgramCase {
  const char* name;
  const char* chip;
  uint8_t id0;
  uint8_t id2;
  uint8_t aai_byte_mode;
  Method method;
  uint8_t count;
  uint32_t start;
  uint8_t block;
  uint8_t base;
  uint8_t main_mode;
  uint8_t bbk;
  size_t image_size;
  uint64_t programmed_before;
  // What the flash and the user see.
  const char* opcode;  // trace prefix of the program commands
  size_t commands;
  const char* first;
  const char* last;
  size_t marks;
  uint64_t programmed_after;
  uint32_t written;     // bytes from start that now hold image bytes
  uint64_t image_from;  // image offset of the byte at start
};

class Program : public testing::TestWithParam<ProgramCase> {};

void CallMethod(const ProgramCase& c) {
  const uint8_t high = static_cast<uint8_t>(c.start >> 16);
  const uint8_t middle = static_cast<uint8_t>(c.start >> 8);
  switch (c.method) {
    case Method::kPages:
      vProgramPages(high, middle, 0);
      break;
    case Method::kPagesCounted:
      vProgramPagesCounted(high, middle, 0, c.count);
      break;
    case Method::kChunks:
      vProgramChunks(high, middle, 0);
      break;
    case Method::kChunksCounted:
      vProgramChunksCounted(high, middle, 0, c.count);
      break;
    case Method::kAaiByte:
      vProgramAaiByte(high, middle, 0);
      break;
    case Method::kAaiWord:
      vProgramAaiWord(high, middle, 0);
      break;
  }
}

TEST_P(Program, WritesTheImageBytesOfTheBlockAndStopsAtTheImageEnd) {
  const ProgramCase& c = GetParam();
  FlashBench bench(c.chip);
  ASSERT_TRUE(bench.Valid());
  bench.SetImage(flashtest::TestImage(c.image_size));
  bench.SetId({c.id0, 0x00, c.id2});
  FlashState.AaiByteMode = c.aai_byte_mode;
  FlashState.BlockNum = c.block;
  FlashState.BlockBase = c.base;
  FlashState.MainMode = c.main_mode;
  FlashState.BbkMode = c.bbk;
  FlashState.ProgrammedCount = c.programmed_before;
  // Whatever the status clear left: no block protection.
  ASSERT_EQ(bench.Call([] { vClearSpiStatus(); }), -1);
  bench.Clear();

  ASSERT_EQ(bench.Call([&] { CallMethod(c); }), -1);

  const std::vector<std::string> commands = bench.Lines(c.opcode);
  ASSERT_EQ(commands.size(), c.commands);
  if (c.commands != 0) {
    EXPECT_EQ(commands.front(), c.first);
    EXPECT_EQ(commands.back(), c.last);
  }
  EXPECT_EQ(bench.console, "  Programing...    : " + Marks(c.marks) + " -- Programing OK. \n\n");
  EXPECT_EQ(FlashState.ProgrammedCount, c.programmed_after);
  for (uint32_t i = 0; i < c.written; ++i) {
    ASSERT_EQ(bench.flash[c.start + i], bench.image[c.image_from + i]) << "at " << c.start + i;
  }
  if (c.start + c.written < bench.flash.size()) {
    EXPECT_EQ(bench.flash[c.start + c.written], 0xFF);
  }
  // Every method ends with the latch cleared, the flash idle, no transaction open.
  EXPECT_TRUE(bench.Idle());
  EXPECT_EQ(bench.Status() & 0x03, 0);
  const bool aai = c.method == Method::kAaiByte || c.method == Method::kAaiWord;
  // Page methods enable writing per command, the auto-increment ones once.
  EXPECT_EQ(bench.Lines("spi 06").size(), aai ? 1u : c.commands);
}

constexpr Method kPages = Method::kPages;
constexpr Method kPagesCounted = Method::kPagesCounted;
constexpr Method kChunks = Method::kChunks;
constexpr Method kChunksCounted = Method::kChunksCounted;
constexpr Method kAaiByte = Method::kAaiByte;
constexpr Method kAaiWord = Method::kAaiWord;

INSTANTIATE_TEST_SUITE_P(
    Flash, Program,
    testing::Values(ProgramCase{"PagesWholeBlock",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0x10000,
                                0,
                                "spi 02",
                                256,
                                "spi 02 @000000 w256",
                                "spi 02 @00ff00 w256",
                                16,
                                0x10000,
                                0x10000,
                                0},
                    ProgramCase{"PagesImageEndsInAPage",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                1000,
                                0,
                                "spi 02",
                                4,
                                "spi 02 @000000 w256",
                                "spi 02 @000300 w232",
                                1,
                                1000,
                                1000,
                                0},
                    ProgramCase{"PagesNothingLeft",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0x10000,
                                1,
                                1,
                                0,
                                0,
                                0x10000,
                                0x10000,
                                "spi 02",
                                0,
                                "",
                                "",
                                0,
                                0x10000,
                                0,
                                0},
                    // Page 240 lands at 0x010000: the step carries into the high byte.
                    ProgramCase{"PagesFromOffset",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0x1000,
                                0,
                                0,
                                0,
                                0,
                                0x20000,
                                0,
                                "spi 02",
                                256,
                                "spi 02 @001000 w256",
                                "spi 02 @010f00 w256",
                                16,
                                0x10000,
                                0x10000,
                                0},
                    ProgramCase{"PagesCountedBootBlock",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPagesCounted,
                                16,
                                0,
                                0,
                                0,
                                0,
                                1,
                                0x1000,
                                0,
                                "spi 02",
                                16,
                                "spi 02 @000000 w256",
                                "spi 02 @000f00 w256",
                                16,
                                0x1000,
                                0x1000,
                                0},
                    ProgramCase{"PagesCountedMainAreaBlock0",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPagesCounted,
                                240,
                                0x1000,
                                0,
                                0,
                                1,
                                0,
                                0x1F000,
                                0,
                                "spi 02",
                                240,
                                "spi 02 @001000 w256",
                                "spi 02 @00ff00 w256",
                                15,
                                0xF000,
                                0xF000,
                                0},
                    // From block 1 on the main-area image runs 0x1000 behind the flash.
                    ProgramCase{"PagesMainAreaBlock1",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0x10000,
                                1,
                                1,
                                1,
                                0,
                                0x1F000,
                                0xF000,
                                "spi 02",
                                256,
                                "spi 02 @010000 w256",
                                "spi 02 @01ff00 w256",
                                16,
                                0x1F000,
                                0x10000,
                                0xF000},
                    ProgramCase{"PagesSecondImageBlock",
                                "w25q80",
                                0xEF,
                                0x14,
                                0,
                                kPages,
                                0,
                                0,
                                0,
                                2,
                                0,
                                0,
                                0x30000,
                                0,
                                "spi 02",
                                256,
                                "spi 02 @000000 w256",
                                "spi 02 @00ff00 w256",
                                16,
                                0x10000,
                                0x10000,
                                0x20000},
                    ProgramCase{"ChunksWholeBlock",
                                "mx25l512",
                                0xC2,
                                0x10,
                                0,
                                kChunks,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0x10000,
                                0,
                                "spi 02",
                                2048,
                                "spi 02 @000000 w32",
                                "spi 02 @00ffe0 w32",
                                16,
                                0x10000,
                                0x10000,
                                0},
                    ProgramCase{"ChunksImageEndsInAChunk",
                                "mx25l512",
                                0xC2,
                                0x10,
                                0,
                                kChunks,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                1000,
                                0,
                                "spi 02",
                                32,
                                "spi 02 @000000 w32",
                                "spi 02 @0003e0 w8",
                                1,
                                1000,
                                1000,
                                0},
                    // One mark per 16 pages, also in boot-block mode.
                    ProgramCase{"ChunksCountedBootBlock",
                                "mx25l512",
                                0xC2,
                                0x10,
                                0,
                                kChunksCounted,
                                16,
                                0,
                                0,
                                0,
                                0,
                                1,
                                0x1000,
                                0,
                                "spi 02",
                                128,
                                "spi 02 @000000 w32",
                                "spi 02 @000fe0 w32",
                                1,
                                0x1000,
                                0x1000,
                                0},
                    ProgramCase{"AaiByteWholeBlock",
                                "sst25vf512a",
                                0xBF,
                                0x00,
                                1,
                                kAaiByte,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0x10000,
                                0,
                                "spi af",
                                0x10001,
                                "spi af @000000 w1",
                                "spi af",
                                16,
                                0x10000,
                                0x10000,
                                0},
                    ProgramCase{"AaiWordWholeBlockMaker",
                                "xqr-a",
                                0xFF,
                                0xFF,
                                0,
                                kAaiWord,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0x10000,
                                0,
                                "spi ad",
                                0x8001,
                                "spi ad @000000 w2",
                                "spi ad",
                                16,
                                0x10000,
                                0x10000,
                                0},
                    // The last byte of an odd image goes out with 0xFF; nothing past the
                    // image is read or written.
                    ProgramCase{"AaiWordOddImage",
                                "sst25vf080b",
                                0xBF,
                                0x8E,
                                0,
                                kAaiWord,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                1001,
                                0,
                                "spi ad",
                                502,
                                "spi ad @000000 w2",
                                "spi ad",
                                1,
                                1001,
                                1001,
                                0},
                    ProgramCase{"AaiWordNothingLeft",
                                "sst25vf080b",
                                0xBF,
                                0x8E,
                                0,
                                kAaiWord,
                                0,
                                0x10000,
                                1,
                                1,
                                0,
                                0,
                                0x10000,
                                0x10000,
                                "spi ad",
                                1,
                                "spi ad @010000",
                                "spi ad @010000",
                                0,
                                0x10000,
                                0,
                                0},
                    ProgramCase{"AaiWordSecondBlock",
                                "sst25vf080b",
                                0xBF,
                                0x8E,
                                0,
                                kAaiWord,
                                0,
                                0x10000,
                                1,
                                1,
                                0,
                                0,
                                0x10100,
                                0x10000,
                                "spi ad",
                                129,
                                "spi ad @010000 w2",
                                "spi ad",
                                1,
                                0x10100,
                                0x100,
                                0x10000}),
    [](const testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

}  // namespace
