// The six programming methods on modelled chips: commands on the wire, where
// the image bytes land, the byte count carried across blocks, the marks.
#include <gtest/gtest.h>

#include "tests/support/flash_bench.h"
#include "tests/support/test_data.h"

namespace {

using flashtest::FlashBench;
using simtest::Marks;

enum class Method { kPages, kPagesCounted, kChunks, kChunksCounted, kAaiByte, kAaiWord };

// Modelled chips; the engine reads each one's ID bytes from its expectation row.
constexpr const char* kW25q80 = "w25q80";
constexpr const char* kMx25l512 = "mx25l512";
constexpr const char* kSst25vf512a = "sst25vf512a";
constexpr const char* kXqrA = "xqr-a";
constexpr const char* kSst25vf080b = "sst25vf080b";

struct ProgramCall {
  const char* name;
  const char* chip;
  Method method;
  uint8_t count;  // pages, for the counted methods
};

// Where the update stands when the method is called.
struct BlockState {
  uint32_t start;
  uint8_t block;
  uint8_t base;
  uint8_t main_mode;
  uint8_t bbk;
  size_t image_size;
  uint64_t programmed_before;
};

// The program commands on the wire.
struct ProgramCommands {
  const char* opcode;  // trace prefix of the program commands
  size_t count;
  const char* first;
  const char* last;
};

// What the flash and the user see afterwards.
struct ProgramResult {
  size_t marks;
  uint64_t programmed_after;
  uint32_t written;     // bytes from start that now hold image bytes
  uint64_t image_from;  // image offset of the byte at start
};

struct ProgramCase {
  ProgramCall call;
  BlockState state;
  ProgramCommands commands;
  ProgramResult result;
};

class Program : public testing::TestWithParam<ProgramCase> {};

void CallMethod(const ProgramCall& call, uint32_t start) {
  const uint8_t high = static_cast<uint8_t>(start >> 16);
  const uint8_t middle = static_cast<uint8_t>(start >> 8);
  switch (call.method) {
    case Method::kPages:
      return vProgramPages(high, middle, 0);
    case Method::kPagesCounted:
      return vProgramPagesCounted(high, middle, 0, call.count);
    case Method::kChunks:
      return vProgramChunks(high, middle, 0);
    case Method::kChunksCounted:
      return vProgramChunksCounted(high, middle, 0, call.count);
    case Method::kAaiByte:
      return vProgramAaiByte(high, middle, 0);
    case Method::kAaiWord:
      return vProgramAaiWord(high, middle, 0);
  }
}

TEST_P(Program, WritesTheImageBytesOfTheBlockAndStopsAtTheImageEnd) {
  const ProgramCall& call = GetParam().call;
  const BlockState& state = GetParam().state;
  const ProgramCommands& expected = GetParam().commands;
  const ProgramResult& result = GetParam().result;
  FlashBench bench(call.chip);
  ASSERT_TRUE(bench.Valid());
  bench.SetImage(simtest::TestImage(state.image_size));
  bench.SetId(*simtest::FindChipFacts(call.chip));
  FlashState.BlockNum = state.block;
  FlashState.BlockBase = state.base;
  FlashState.MainMode = state.main_mode;
  FlashState.BbkMode = state.bbk;
  FlashState.ProgrammedCount = state.programmed_before;
  vPlanBlockRanges();
  // Whatever the status clear left: no block protection.
  ASSERT_EQ(bench.Call([] { vClearSpiStatus(); }), -1);
  bench.Clear();

  ASSERT_EQ(bench.Call([&] { CallMethod(call, state.start); }), -1);

  const std::vector<std::string> commands = bench.Lines(expected.opcode);
  ASSERT_EQ(commands.size(), expected.count);
  if (expected.count != 0) {
    EXPECT_EQ(commands.front(), expected.first);
    EXPECT_EQ(commands.back(), expected.last);
  }
  EXPECT_EQ(bench.console,
            "  Programing...    : " + Marks(result.marks) + " -- Programing OK. \n\n");
  EXPECT_EQ(FlashState.ProgrammedCount, result.programmed_after);
  for (uint32_t i = 0; i < result.written; ++i) {
    ASSERT_EQ(bench.flash[state.start + i], bench.image[result.image_from + i])
        << "at " << state.start + i;
  }
  if (state.start + result.written < bench.flash.size()) {
    EXPECT_EQ(bench.flash[state.start + result.written], 0xFF);
  }
  // Every method ends with the latch cleared, the flash idle, no transaction open.
  EXPECT_TRUE(bench.Idle());
  EXPECT_EQ(bench.Status() & 0x03, 0);
  const bool aai = call.method == Method::kAaiByte || call.method == Method::kAaiWord;
  // Page methods enable writing per command, the auto-increment ones once.
  EXPECT_EQ(bench.Lines("spi 06").size(), aai ? 1u : expected.count);
}

using enum Method;

// Each case: the call; where the update stands (start, block, base, main
// mode, boot-block mode, image size, bytes programmed before); the program
// commands (trace prefix, count, first, last); the marks, the bytes
// programmed after, the bytes written from the start and the image offset
// they come from.
const ProgramCase kProgramCases[] = {
    {{"PagesWholeBlock", kW25q80, kPages, 0},
     {0, 0, 0, 0, 0, 0x10000, 0},
     {"spi 02", 256, "spi 02 @000000 w256", "spi 02 @00ff00 w256"},
     {16, 0x10000, 0x10000, 0}},
    {{"PagesImageEndsInAPage", kW25q80, kPages, 0},
     {0, 0, 0, 0, 0, 1000, 0},
     {"spi 02", 4, "spi 02 @000000 w256", "spi 02 @000300 w232"},
     {1, 1000, 1000, 0}},
    {{"PagesNothingLeft", kW25q80, kPages, 0},
     {0x10000, 1, 1, 0, 0, 0x10000, 0x10000},
     {"spi 02", 0, "", ""},
     {0, 0x10000, 0, 0}},
    // Page 240 lands at 0x010000: the step carries into the high byte.
    {{"PagesFromOffset", kW25q80, kPages, 0},
     {0x1000, 0, 0, 0, 0, 0x20000, 0},
     {"spi 02", 256, "spi 02 @001000 w256", "spi 02 @010f00 w256"},
     {16, 0x10000, 0x10000, 0}},
    {{"PagesCountedBootBlock", kW25q80, kPagesCounted, 16},
     {0, 0, 0, 0, 1, 0x1000, 0},
     {"spi 02", 16, "spi 02 @000000 w256", "spi 02 @000f00 w256"},
     {16, 0x1000, 0x1000, 0}},
    {{"PagesCountedMainAreaBlock0", kW25q80, kPagesCounted, 240},
     {0x1000, 0, 0, 1, 0, 0x1F000, 0},
     {"spi 02", 240, "spi 02 @001000 w256", "spi 02 @00ff00 w256"},
     {15, 0xF000, 0xF000, 0}},
    // From block 1 on the main-area image runs 0x1000 behind the flash.
    {{"PagesMainAreaBlock1", kW25q80, kPages, 0},
     {0x10000, 1, 1, 1, 0, 0x1F000, 0xF000},
     {"spi 02", 256, "spi 02 @010000 w256", "spi 02 @01ff00 w256"},
     {16, 0x1F000, 0x10000, 0xF000}},
    {{"PagesSecondImageBlock", kW25q80, kPages, 0},
     {0, 0, 2, 0, 0, 0x30000, 0},
     {"spi 02", 256, "spi 02 @000000 w256", "spi 02 @00ff00 w256"},
     {16, 0x10000, 0x10000, 0x20000}},
    {{"ChunksWholeBlock", kMx25l512, kChunks, 0},
     {0, 0, 0, 0, 0, 0x10000, 0},
     {"spi 02", 2048, "spi 02 @000000 w32", "spi 02 @00ffe0 w32"},
     {16, 0x10000, 0x10000, 0}},
    {{"ChunksImageEndsInAChunk", kMx25l512, kChunks, 0},
     {0, 0, 0, 0, 0, 1000, 0},
     {"spi 02", 32, "spi 02 @000000 w32", "spi 02 @0003e0 w8"},
     {1, 1000, 1000, 0}},
    // One mark per 16 pages, also in boot-block mode.
    {{"ChunksCountedBootBlock", kMx25l512, kChunksCounted, 16},
     {0, 0, 0, 0, 1, 0x1000, 0},
     {"spi 02", 128, "spi 02 @000000 w32", "spi 02 @000fe0 w32"},
     {1, 0x1000, 0x1000, 0}},
    {{"AaiByteWholeBlock", kSst25vf512a, kAaiByte, 0},
     {0, 0, 0, 0, 0, 0x10000, 0},
     {"spi af", 0x10001, "spi af @000000 w1", "spi af"},
     {16, 0x10000, 0x10000, 0}},
    {{"AaiWordWholeBlockMaker", kXqrA, kAaiWord, 0},
     {0, 0, 0, 0, 0, 0x10000, 0},
     {"spi ad", 0x8001, "spi ad @000000 w2", "spi ad"},
     {16, 0x10000, 0x10000, 0}},
    // The last byte of an odd image goes out with 0xFF; nothing past the
    // image is read or written.
    {{"AaiWordOddImage", kSst25vf080b, kAaiWord, 0},
     {0, 0, 0, 0, 0, 1001, 0},
     {"spi ad", 502, "spi ad @000000 w2", "spi ad"},
     {1, 1001, 1001, 0}},
    {{"AaiWordNothingLeft", kSst25vf080b, kAaiWord, 0},
     {0x10000, 1, 1, 0, 0, 0x10000, 0x10000},
     {"spi ad", 1, "spi ad @010000", "spi ad @010000"},
     {0, 0x10000, 0, 0}},
    {{"AaiWordSecondBlock", kSst25vf080b, kAaiWord, 0},
     {0x10000, 1, 1, 0, 0, 0x10100, 0x10000},
     {"spi ad", 129, "spi ad @010000 w2", "spi ad"},
     {1, 0x10100, 0x100, 0x10000}},
};

INSTANTIATE_TEST_SUITE_P(Flash, Program, testing::ValuesIn(kProgramCases),
                         [](const testing::TestParamInfo<ProgramCase>& info) {
                           return info.param.call.name;
                         });

}  // namespace
