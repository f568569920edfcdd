// Erasing blocks and sectors, and the erase check, on modelled chips.
#include <gtest/gtest.h>

#include "tests/support/chip_facts.h"
#include "tests/support/flash_bench.h"
#include "tests/support/test_data.h"

namespace {

using flashtest::FlashBench;
using simtest::Marks;

// The part's erase opcode and step come from its expectation row.
struct EraseBlockCase {
  const char* name;
  const char* chip;
  uint8_t block;
  uint64_t page_count;
  uint8_t main_mode;
  int64_t image_size;
  uint32_t start;
  uint32_t commands;
  size_t marks;
};

class EraseBlock : public testing::TestWithParam<EraseBlockCase> {};

TEST_P(EraseBlock, SendsOneCommandPerStepUpToTheImageEndAndErasesThatRange) {
  const EraseBlockCase& c = GetParam();
  const simtest::ChipErase erase = simtest::FindChipFacts(c.chip)->block_erase;
  FlashBench bench(c.chip);
  ASSERT_TRUE(bench.Valid());
  std::fill(bench.flash.begin(), bench.flash.end(), 0x00);
  bench.SetId(*simtest::FindChipFacts(c.chip));
  FlashState.BlockNum = c.block;
  FlashState.PageCount = c.page_count;
  FlashState.MainMode = c.main_mode;
  FlashState.ImageSize = c.image_size;
  vPlanBlockRanges();

  ASSERT_EQ(bench.CallAt(vEraseBlock, c.start), -1);

  EXPECT_EQ(bench.Lines("spi " + simtest::Hex(erase.opcode)),
            simtest::SpiLines(erase.opcode, c.start, erase.step, c.commands));
  EXPECT_EQ(bench.console, " Eraseing...      : " + Marks(c.marks) + " -- Erase OK. \n\n");
  EXPECT_TRUE(bench.Idle());
  // Each command is preceded by a write enable and followed by a ready poll.
  EXPECT_EQ(bench.Lines("spi 06").size(), c.commands);
  // An erase larger than its step clears past the image's end.
  if (c.commands != 0 && erase.size == erase.step) {
    const uint32_t end = c.start + erase.step * c.commands;
    for (uint32_t a = c.start; a < end; a += 0x100) ASSERT_EQ(bench.flash[a], 0xFF) << a;
    if (end < bench.flash.size()) {
      EXPECT_EQ(bench.flash[end], 0x00);
    }
    if (c.start > 0) {
      EXPECT_EQ(bench.flash[c.start - 1], 0x00);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Flash, EraseBlock,
    testing::Values(
        EraseBlockCase{"Whole", "w25q80", 0, 64, 0, 0x10000, 0, 16, 16},
        // 62 KB is not a multiple of 4 KB: the equality bound is never met.
        EraseBlockCase{"NotMultipleOf4K", "w25q80", 0, 62, 0, 62 * 1024, 0, 16, 16},
        EraseBlockCase{"Maker1K", "xqr-a", 0, 62, 0, 62 * 1024, 0, 62, 16},
        EraseBlockCase{"Maker1KFromOffset", "xqr-a", 0, 128, 0, 0x20000, 0x1000, 64, 16},
        EraseBlockCase{"StepsCarryIntoHighByte", "w25q80", 0, 128, 0, 0x20000, 0x1000, 16, 16},
        EraseBlockCase{"StParts64KOpcode4KSteps", "m25p80", 0, 64, 0, 0x10000, 0, 16, 16},
        EraseBlockCase{"BoundAtBlockStart", "w25q80", 1, 64, 0, 0x10000, 0x10000, 0, 0},
        EraseBlockCase{"PartOfSecondBlock", "w25q80", 1, 72, 0, 72 * 1024, 0x10000, 2, 2},
        // Main-area images sit 4 KB further in: 124 KB + 4 is never met in block 1.
        EraseBlockCase{"MainAreaSecondBlock", "w25q80", 1, 124, 1, 124 * 1024, 0x10000, 16, 16}),
    [](const testing::TestParamInfo<EraseBlockCase>& info) { return info.param.name; });

struct EraseSectorsCase {
  const char* name;
  const char* chip;
  uint8_t count;
  uint8_t bbk;
  uint8_t test;
  size_t marks;
  uint64_t stall_us;
};

class EraseSectors : public testing::TestWithParam<EraseSectorsCase> {};

TEST_P(EraseSectors, ErasesCountSectorsWithTheirMarks) {
  const EraseSectorsCase& c = GetParam();
  const simtest::ChipErase erase = simtest::FindChipFacts(c.chip)->sector_erase;
  FlashBench bench(c.chip);
  ASSERT_TRUE(bench.Valid());
  bench.SetId(*simtest::FindChipFacts(c.chip));
  FlashState.BbkMode = c.bbk;
  FlashState.TestMode = c.test;
  const uint64_t stalls_before = bench.counters.stall_us;

  ASSERT_EQ(bench.Call([&] { vEraseSectors(0x00, 0x10, 0x00, c.count); }), -1);

  EXPECT_EQ(bench.Lines("spi " + simtest::Hex(erase.opcode)),
            simtest::SpiLines(erase.opcode, 0x1000, erase.step, c.count));
  EXPECT_EQ(bench.console, "  Eraseing...      : " + Marks(c.marks) + " -- Erase OK. \n\n");
  // The paced marks stall 50 us each; the ready polls may stall as well,
  // but only with a busy flash, so compare the pacing part alone.
  if (c.stall_us != 0) {
    EXPECT_GE(bench.counters.stall_us - stalls_before, c.stall_us);
  }
  EXPECT_TRUE(bench.Idle());
}

INSTANTIATE_TEST_SUITE_P(
    Flash, EraseSectors,
    testing::Values(EraseSectorsCase{"None", "w25q80", 0, 0, 0, 0, 0},
                    EraseSectorsCase{"MainArea", "w25q80", 15, 0, 0, 15, 0},
                    EraseSectorsCase{"StParts", "m25p80", 15, 0, 0, 15, 0},
                    // The maker's flash erases sectors with 0x20 as well.
                    EraseSectorsCase{"Maker", "xqr-a", 1, 0, 0, 1, 0},
                    EraseSectorsCase{"BootBlockPaced", "w25q80", 1, 1, 0, 16, 800},
                    EraseSectorsCase{"TestModePaced", "w25q80", 2, 0, 1, 32, 1600}),
    [](const testing::TestParamInfo<EraseSectorsCase>& info) { return info.param.name; });

struct EraseVerifyCase {
  const char* name;
  uint8_t block;
  uint8_t main_mode;
  uint8_t bbk;
  int64_t image_size;
  uint32_t start;
  int64_t dirty_at;  // offset from start that reads 0x7F, or -1
  bool passes;
  const char* read_line;
  std::string tail;
};

class EraseVerify : public testing::TestWithParam<EraseVerifyCase> {};

TEST_P(EraseVerify, ChecksUpToTheImageEndAndReportsTheFirstDirtyByte) {
  const EraseVerifyCase& c = GetParam();
  FlashBench bench("w25q80");
  bench.SetId({0xEF, 0x40, 0x14});
  if (c.dirty_at >= 0) bench.flash[c.start + c.dirty_at] = 0x7F;
  FlashState.BlockNum = c.block;
  FlashState.MainMode = c.main_mode;
  FlashState.BbkMode = c.bbk;
  FlashState.ImageSize = c.image_size;
  vPlanBlockRanges();

  bool passed = false;
  ASSERT_EQ(bench.CallAt(bEraseVerify, c.start, &passed), -1);

  EXPECT_EQ(passed, c.passes);
  EXPECT_EQ(bench.Lines("spi 0b"), std::vector<std::string>{c.read_line});
  EXPECT_EQ(bench.console, "  Erase Verify...  : " + c.tail);
  EXPECT_TRUE(bench.Idle());
  // The latch is cleared before reading.
  EXPECT_EQ(bench.Lines("spi 04").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, EraseVerify,
    testing::Values(EraseVerifyCase{"SixtyK", 0, 0, 0, 0xF000, 0x1000, -1, true,
                                    "spi 0b @001000 w1 r61440", Marks(15) + " -- Verify OK. \n\n"},
                    EraseVerifyCase{"DirtyByte", 0, 0, 0, 0xF000, 0x1000, 0x122, false,
                                    "spi 0b @001000 w1 r291",
                                    Marks(1) + " -- Verify Fail. counterN=122\n"},
                    EraseVerifyCase{"DirtyFirstByte", 0, 0, 0, 0x10000, 0, 0, false,
                                    "spi 0b @000000 w1 r1", " -- Verify Fail. counterN=0\n"},
                    EraseVerifyCase{"BootBlockMarksEvery256", 0, 0, 1, 0x1000, 0, -1, true,
                                    "spi 0b @000000 w1 r4096", Marks(16) + " -- Verify OK. \n\n"},
                    EraseVerifyCase{"EndAtBlockStartReadsNothing", 1, 0, 0, 0x10000, 0x10000, -1,
                                    true, "spi 0b @010000 w1", " -- Verify OK. \n\n"},
                    EraseVerifyCase{"EndBeforeBlockChecksWholeBlock", 2, 0, 0, 0x10000, 0x20000, -1,
                                    true, "spi 0b @020000 w1 r65536",
                                    Marks(16) + " -- Verify OK. \n\n"},
                    // Main-area block 0 ends at the image size's low 16 bits.
                    EraseVerifyCase{"MainAreaBlock0", 0, 1, 0, 0x1F000, 0x1000, -1, true,
                                    "spi 0b @001000 w1 r61440", Marks(15) + " -- Verify OK. \n\n"}),
    [](const testing::TestParamInfo<EraseVerifyCase>& info) { return info.param.name; });

}  // namespace
