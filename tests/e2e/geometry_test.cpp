// Where an update may write: random chip, image size, path and offset on a
// flash filled with a pattern, judged against the flash file computed here;
// and the refusals that must come before any port access or right after
// identification.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/support/request_oracle.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;
using simtest::TestImage;

using oracle::Expect;
using oracle::Footprint;
using oracle::FootprintOf;
using oracle::kAddressSpace;
using oracle::kBlock;
using oracle::kPathOption;
using oracle::Outcome;
using oracle::Part;
using oracle::Path;
using oracle::Request;

constexpr char kFlashFile[] = "tolvi-sim-flash.bin";

const Part kParts[] = {
    oracle::PartOf("w25q80"), oracle::PartOf("mx25l512"),  oracle::PartOf("sst25vf512a"),
    oracle::PartOf("m25p80"), oracle::PartOf("pm25lv040"), oracle::PartOf("xqr-a"),
};

std::vector<uint8_t> Pattern(int64_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x5A ^ (i >> 8));
  return bytes;
}

SimResult RunRequest(const Request& q, const std::vector<uint8_t>& image,
                     const std::vector<uint8_t>& before) {
  SimFixture sim;
  sim.WriteFile("ec.bin", image);
  sim.WriteFile(kFlashFile, before);
  std::vector<std::string> args = {"ec.bin", "0"};
  if (q.path != Path::kWhole) args.push_back(kPathOption[static_cast<int>(q.path)]);
  if (q.offset != 0) {
    args.push_back("/O");
    args.push_back(oracle::OffsetText(q.offset));
  }
  return sim.Run({"--chip", q.part->name}, args);
}

void CheckRefusal(Outcome expected, const SimResult& r, const std::vector<uint8_t>& before) {
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.flash == before) << "a refused update changed the flash";
  EXPECT_FALSE(r.ec_in_flash_mode);
  EXPECT_TRUE(r.keyboard_enabled);
  // Nothing written: no write enable, no status clear.
  EXPECT_TRUE(r.TraceLines("spi 06").empty());
  EXPECT_TRUE(r.TraceLines("spi 01").empty());
  if (expected == Outcome::kRefusedBeforePorts) {
    EXPECT_EQ(r.ec_flash_mode_entries, 0u);
    EXPECT_TRUE(r.TraceLines("kbc").empty());
  } else {
    EXPECT_EQ(r.ec_flash_mode_entries, 1u);
    EXPECT_FALSE(r.TraceLines("spi 9f").empty());
  }
}

TEST(Geometry, RandomRequestsEndRefusedUntouchedOrWrittenExactlyWhereAsked) {
  std::mt19937 random(20261208);
  const int64_t sizes[] = {1000, 0x1000, 0xF000, kBlock, 0x1A000, 0x1F000, 2 * kBlock};
  int judged[4] = {};
  for (int run = 0; run < 160; ++run) {
    Request q;
    q.part = &kParts[random() % (sizeof kParts / sizeof kParts[0])];
    const int64_t chip_size = q.part->size;
    const int64_t size_choices[] = {sizes[random() % 7], chip_size, chip_size + kBlock};
    q.size = size_choices[random() % 3 == 0 ? 1 + random() % 2 : 0];
    q.path = static_cast<Path>(random() % 4);
    const int64_t offsets[] = {0,
                               0,
                               0x1000 * static_cast<int64_t>(random() % 32),
                               kBlock * static_cast<int64_t>(random() % 16),
                               0x400 * static_cast<int64_t>(1 + random() % 3),
                               0x80,
                               0x1200,
                               -0x1000,
                               chip_size - 0x8000,
                               chip_size,
                               0xFFF000,
                               0xFFFFFF};
    q.offset = offsets[random() % (sizeof offsets / sizeof offsets[0])];
    const Outcome expected = Expect(q);
    SCOPED_TRACE(std::string(q.part->name) + " size " + std::to_string(q.size) + " path " +
                 std::to_string(static_cast<int>(q.path)) + " /O " + oracle::OffsetText(q.offset));
    const std::vector<uint8_t> image = TestImage(static_cast<size_t>(q.size), 5 + run);
    const std::vector<uint8_t> before = Pattern(chip_size);
    const SimResult r = RunRequest(q, image, before);
    ++judged[static_cast<int>(expected)];
    ASSERT_EQ(r.flash.size(), before.size());
    if (expected == Outcome::kUnjudged) continue;
    if (expected != Outcome::kWritten) {
      CheckRefusal(expected, r, before);
      continue;
    }
    EXPECT_EQ(r.status, 0);
    std::vector<uint8_t> want = before;
    const Footprint f = FootprintOf(q);
    for (int64_t a = f.begin; a < f.end; ++a) want[static_cast<size_t>(a)] = 0xFF;
    for (size_t i = 0; i < image.size(); ++i) want[static_cast<size_t>(f.image_at) + i] = image[i];
    ASSERT_EQ(r.flash.size(), want.size());
    for (size_t a = 0; a < want.size(); ++a) {
      if (r.flash[a] != want[a]) {
        ADD_FAILURE() << "flash 0x" << std::hex << a << " holds 0x" << int{r.flash[a]}
                      << ", expected 0x" << int{want[a]};
        break;
      }
    }
  }
  // The draw reaches every kind of ending.
  EXPECT_GT(judged[0], 10);
  EXPECT_GT(judged[1], 10);
  EXPECT_GT(judged[2], 10);
}

}  // namespace

namespace {

// Requests that used to pass "Verify OK" while writing where the user did not
// point. Each now ends refused with the flash as it was, or writes exactly
// its image at `at` and clears only [at, erased_to).
struct Row {
  const char* name;
  const char* chip;
  int64_t image_size;
  std::vector<std::string> args;  // after the image's name
  Outcome ending;                 // refused before any port access or after the ID, or written
  const char* line;               // the refusal's line
  int64_t at = 0;
  int64_t erased_to = 0;
};

TEST(Geometry, RequestsThatOnceWroteElsewhereAreRefusedOrLandExactly) {
  constexpr Outcome kBeforePorts = Outcome::kRefusedBeforePorts,
                    kAfterId = Outcome::kRefusedAfterId, kWritten = Outcome::kWritten;
  // clang-format off
  const Row rows[] = {
    {"128K on a 64K part", "mx25l512", 0x20000, {"128"}, kAfterId,
     "The update reaches 0x1FFFF, beyond this 64K flash (0x0-0xFFFF)!"},
    {"2M on a 1M part", "w25q80", 0x200000, {"2048"}, kAfterId,
     "The update reaches 0x1FFFFF, beyond this 1024K flash (0x0-0xFFFFF)!"},
    {"past the end", "w25q80", 0x10000, {"64", "/O", "F8000"}, kAfterId,
     "The update reaches 0x107FFF, beyond this 1024K flash (0x0-0xFFFFF)!"},
    {"negative offset", "w25q80", 0x10000, {"64", "/O", "-1000"}, kBeforePorts,
     "Offset -0x1000 is below the start of the flash!"},
    {"past 24 bits", "w25q80", 0x10000, {"64", "/O", "FFFFFF"}, kBeforePorts,
     "Offset 0xFFFFFF with a 64K image runs past 0xFFFFFF!"},
    {"offset inside a sector", "w25q80", 0x10000, {"64", "/O", "1200"}, kAfterId,
     "Offset 0x1200 is not a multiple of this flash's 4K erase!"},
    {"offset inside a page", "w25q80", 0x10000, {"64", "/O", "80"}, kAfterId,
     "Offset 0x80 is not a multiple of this flash's 4K erase!"},
    {"offset with two blocks", "w25q80", 0x20000, {"128", "/O", "1000"}, kBeforePorts,
     "Offset 0x1000 with a 128K image:\n\r"
     "only a one-block image (at most 64K) can be written at an offset!"},
    {"boot block on a 64K-only part", "m25p80", 0x1000, {"4", "/BK"}, kAfterId,
     "This flash erases 64K at once:\n\r"
     "the BBK, Main and Backup areas cannot be written alone!"},
    {"main area on a 64K-only part", "m25p80", 0xF000, {"60", "/Mn"}, kAfterId,
     "This flash erases 64K at once:\n\r"
     "the BBK, Main and Backup areas cannot be written alone!"},
    {"backup area on a 64K-only part", "m25p80", 0xF000, {"60", "/Bp"}, kAfterId,
     "This flash erases 64K at once:\n\r"
     "the BBK, Main and Backup areas cannot be written alone!"},
    {"4K offset on a 64K-only part", "m25p80", 0x10000, {"64", "/O", "1000"}, kAfterId,
     "Offset 0x1000 is not a multiple of this flash's 64K erase!"},
    {"aligned offset, one block", "w25q80", 0x10000, {"64", "/O", "1000"}, kWritten, nullptr,
     0x1000, 0x11000},
    {"64K offset on a 64K-only part", "m25p80", 0x10000, {"64", "/O", "10000"}, kWritten, nullptr,
     0x10000, 0x20000},
    {"1000 bytes erase one sector", "w25q80", 1000, {"0"}, kWritten, nullptr, 0, 0x1000},
    {"1000 bytes erase one 1K step", "xqr-a", 1000, {"0"}, kWritten, nullptr, 0, 0x400},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimFixture sim;
    const std::vector<uint8_t> image = TestImage(static_cast<size_t>(row.image_size), 9);
    const std::vector<uint8_t> before = Pattern(oracle::PartOf(row.chip).size);
    sim.WriteFile("ec.bin", image);
    sim.WriteFile(kFlashFile, before);
    std::vector<std::string> args = {"ec.bin"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const SimResult r = sim.Run({"--chip", row.chip}, args);
    if (row.ending != kWritten) {
      CheckRefusal(row.ending, r, before);
      EXPECT_NE(r.console.find(std::string("\n\r") + row.line + "\n\n"), std::string::npos)
          << r.console;
      continue;
    }
    EXPECT_EQ(r.status, 0);
    std::vector<uint8_t> want = before;
    for (int64_t a = row.at; a < row.erased_to; ++a) want[static_cast<size_t>(a)] = 0xFF;
    std::copy(image.begin(), image.end(), want.begin() + row.at);
    EXPECT_TRUE(r.flash == want);
  }
}

// An image file of 4 GB and 64 KB: its length cut to 32 bits would be 64 KB.
TEST(Geometry, AnImageOverTwoGigabytesIsRefusedLikeAShortRead) {
  SimFixture sim;
  const std::vector<uint8_t> before = Pattern(0x100000);
  sim.WriteFile(kFlashFile, before);
  std::FILE* file = std::fopen(sim.Path("big.bin").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fseek(file, 0x100010000LL - 1, SEEK_SET), 0);
  ASSERT_EQ(std::fputc(0x11, file), 0x11);
  ASSERT_EQ(std::fclose(file), 0);
  const SimResult r = sim.Run({"--chip", "w25q80"}, {"big.bin", "64"});
  CheckRefusal(Outcome::kRefusedBeforePorts, r, before);
  EXPECT_NE(r.console.find("File Read Fail!"), std::string::npos);
}

}  // namespace

// The maker's A-type part tells no size; a 320K image runs past its 256K.
// Its fifth block would alias block 0: nothing is erased there, the flash
// keeps the image's first 256K, and the advice does not send the technician
// round the same loop.
TEST(Geometry, APartOfUnknownSizeStopsWhereItsAddressesWrap) {
  const std::vector<uint8_t> image = TestImage(320 * 1024, 11);
  for (const char* extra : {"", "/U"}) {
    SCOPED_TRACE(extra);
    SimFixture sim;
    sim.WriteFile("ec.bin", image);
    sim.WriteFile(kFlashFile, Pattern(oracle::PartOf("xqr-a").size));
    std::vector<std::string> args = {"ec.bin", "320"};
    if (*extra != '\0') args.push_back(extra);
    const SimResult r = sim.Run({"--chip", "xqr-a"}, args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.flash == std::vector<uint8_t>(image.begin(), image.begin() + 0x40000));
    for (const std::string& erase : r.TraceLines("spi d7"))
      EXPECT_LT(std::stoul(erase.substr(8), nullptr, 16), 0x40000u) << erase;
    for (const char* line : {" The flash chip ends at 256K: address 0x040000 reads as 0x000000.",
                             "Blocks 0 to 3 were written and verified.",
                             "Running the same command again does not help: flash an image of"})
      EXPECT_NE(r.console.find(line), std::string::npos) << line << "\n" << r.console;
    EXPECT_EQ(r.console.find("Run the same command again"), std::string::npos);
  }
}
