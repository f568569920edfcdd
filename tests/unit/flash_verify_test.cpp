// Comparing a programmed block with the image, and dumping the flash to a
// file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tests/support/flash_bench.h"
#include "tests/support/test_data.h"

namespace {

using flashtest::FlashBench;
using simtest::Marks;

struct VerifyCase {
  const char* name;
  size_t image_size;
  uint32_t start;
  uint8_t block;
  uint8_t base;
  uint8_t main_mode;
  uint8_t bbk;
  uint64_t image_from;  // image offset of the byte at start
  uint32_t compared;    // bytes compared when all agree
  int64_t wrong_at;     // distance from start of a flash byte that differs, or -1
  const char* read_line;
  std::string tail;  // console after "  Verify...        : "
};

class Verify : public testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, ComparesTheBlocksImageBytesAndReportsTheFirstDifference) {
  const VerifyCase& c = GetParam();
  FlashBench bench("w25q80");
  bench.SetImage(simtest::TestImage(c.image_size));
  bench.SetId({0xEF, 0x40, 0x14});
  for (uint32_t i = 0; i < c.compared; ++i)
    bench.flash[c.start + i] = bench.image[c.image_from + i];
  if (c.wrong_at >= 0) bench.flash[c.start + c.wrong_at] ^= 0x01;
  FlashState.BlockNum = c.block;
  FlashState.BlockBase = c.base;
  FlashState.MainMode = c.main_mode;
  FlashState.BbkMode = c.bbk;
  vPlanBlockRanges();

  bool passed = false;
  ASSERT_EQ(bench.CallAt(bVerifyBlock, c.start, &passed), -1);

  EXPECT_EQ(passed, c.wrong_at < 0);
  EXPECT_EQ(bench.Lines("spi 0b"), std::vector<std::string>{c.read_line});
  EXPECT_EQ(bench.console, "  Verify...        : " + c.tail);
  EXPECT_TRUE(bench.Idle());
}

// The image byte and the flash byte the case left one bit off it.
std::string Failure(uint64_t offset, uint8_t image_byte) {
  return simtest::CompareFail(offset, image_byte, image_byte ^ 0x01, "Verify");
}

const std::vector<uint8_t> kImage200K = simtest::TestImage(200 * 1024);

INSTANTIATE_TEST_SUITE_P(
    Flash, Verify,
    testing::Values(
        VerifyCase{"WholeBlock", 0x10000, 0, 0, 0, 0, 0, 0, 0x10000, -1, "spi 0b @000000 w1 r65536",
                   Marks(16) + " -- Verify OK. \n"},
        VerifyCase{"FirstByteOfBlock1", 0x20000, 0x10000, 1, 1, 0, 0, 0x10000, 0x10000, 0,
                   "spi 0b @010000 w1 r1", Failure(0x10000, kImage200K[0x10000])},
        VerifyCase{"WrongByteInside", 0x10000, 0, 0, 0, 0, 0, 0, 0x10000, 0x2345,
                   "spi 0b @000000 w1 r9030", Marks(3) + Failure(0x2345, kImage200K[0x2345])},
        // Main-area block 0 of a 60 KB image, from 0x001000: offsets 0 to 0xEFFF.
        VerifyCase{"MainAreaBlock0", 0xF000, 0x1000, 0, 0, 1, 0, 0, 0xF000, -1,
                   "spi 0b @001000 w1 r61440", Marks(15) + " -- Verify OK. \n"},
        // Block 1 of a 124 KB main-area image: all 64 KB, from image offset 0xF000.
        VerifyCase{"MainAreaBlock1", 0x1F000, 0x10000, 1, 1, 1, 0, 0xF000, 0x10000, -1,
                   "spi 0b @010000 w1 r65536", Marks(16) + " -- Verify OK. \n"},
        VerifyCase{"MainAreaBlock1Wrong", 0x1F000, 0x10000, 1, 1, 1, 0, 0xF000, 0x10000, 0x10,
                   "spi 0b @010000 w1 r17", Marks(1) + Failure(0xF010, kImage200K[0xF010])},
        VerifyCase{"LastBlockOf200K", 200 * 1024, 0x30000, 3, 3, 0, 0, 0x30000, 0x2000, -1,
                   "spi 0b @030000 w1 r8192", Marks(2) + " -- Verify OK. \n"},
        VerifyCase{"BootBlockMarksEvery256", 0x1000, 0, 0, 0, 0, 1, 0, 0x1000, -1,
                   "spi 0b @000000 w1 r4096", Marks(16) + " -- Verify OK. \n"},
        // The first half-block chip keeps its code two image blocks further on.
        VerifyCase{"ImageBlockTwo", 0x40000, 0, 0, 2, 0, 0, 0x20000, 0x10000, 0x8000,
                   "spi 0b @000000 w1 r32769", Marks(8) + Failure(0x28000, kImage200K[0x28000])}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return info.param.name; });

TEST(FlashVerify, AComparisonEndsAtTheBytesActuallyLoaded) {
  FlashBench bench("w25q80");
  bench.SetImage(simtest::TestImage(0x1000));
  // The image load read only half of what the file's size promised.
  FlashState.ImageSize = 0x1000;
  FlashState.ImageLoaded = 0x800;
  vPlanBlockRanges();
  for (uint32_t i = 0; i < 0x800; ++i) bench.flash[i] = bench.image[i];
  bool passed = false;
  ASSERT_EQ(bench.CallAt(bVerifyBlock, 0, &passed), -1);
  EXPECT_TRUE(passed);
  EXPECT_EQ(bench.Lines("spi 0b"), std::vector<std::string>{"spi 0b @000000 w1 r4096"});
}

struct DumpCase {
  const char* name;
  int32_t size_k;
  const char* mode;  // how the dump file is opened
  size_t chunks;
  const char* read_line;
  const char* result;
};

class Dump : public testing::TestWithParam<DumpCase> {};

TEST_P(Dump, WritesWhole32KChunksFromAddressZero) {
  const DumpCase& c = GetParam();
  FlashBench bench("w25q80");
  bench.SetId({0xEF, 0x40, 0x14});
  for (size_t i = 0; i < bench.flash.size(); ++i)
    bench.flash[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  const std::string path = testing::TempDir() + "flash_dump_" + c.name + ".bin";
  std::remove(path.c_str());
  if (std::string(c.mode) == "rb") std::ofstream(path, std::ios::binary).put('x');
  FlashState.ImageFile = pf::fopen(path.c_str(), c.mode);
  ASSERT_NE(FlashState.ImageFile, nullptr);
  std::vector<uint8_t> buffer(0x8000);
  FlashState.ReadBuffer = buffer.data();
  FlashState.FileSizeK = c.size_k;

  ASSERT_EQ(bench.Call([] { vSaveFlashToFile(); }), -1);
  pf::fclose(FlashState.ImageFile);

  EXPECT_EQ(bench.Lines("spi 0b"), std::vector<std::string>{c.read_line});
  EXPECT_EQ(bench.console, Marks(6 * c.chunks) + c.result);
  // Chunks that reached the file.
  EXPECT_EQ(FlashState.PageIndex, std::string(c.mode) == "rb" ? 0 : c.chunks);
  EXPECT_TRUE(bench.Idle());
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (std::string(c.mode) == "rb") {
    EXPECT_EQ(FlashState.SaveFailed, 1);
    EXPECT_EQ(file.size(), 1u);  // the read-only file is left as it was
  } else {
    EXPECT_EQ(FlashState.SaveFailed, 0);
    EXPECT_EQ(file,
              std::vector<uint8_t>(bench.flash.begin(), bench.flash.begin() + c.chunks * 0x8000));
  }
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Flash, Dump,
    testing::Values(
        // Success is told by the caller once the file is closed.
        DumpCase{"Below32K", 31, "wb+", 0, "spi 0b @000000 w1", ""},
        DumpCase{"Exactly64K", 64, "wb+", 2, "spi 0b @000000 w1 r65536", ""},
        // 100 KB rounds down to three chunks, 18 marks.
        DumpCase{"RoundsDown", 100, "wb+", 3, "spi 0b @000000 w1 r98304", ""},
        DumpCase{"Negative", -64, "wb+", 0, "spi 0b @000000 w1", ""},
        // The first failed write ends the read.
        DumpCase{"WriteFails", 64, "rb", 1, "spi 0b @000000 w1 r32768", "-- Save Fail!"}),
    [](const testing::TestParamInfo<DumpCase>& info) { return info.param.name; });

}  // namespace
