// The write test (/T) through the harness: what it leaves in the flash, the
// exact screen text, the bytes it puts on the SPI bus and the EC and keyboard
// commands of its frame.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/tunnel_transactions.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

const std::string kMark = "\xE2\x96\x88";  // U+2588 as UTF-8

std::string Marks(int count) {
  std::string marks;
  for (int i = 0; i < count; ++i) marks += kMark;
  return marks;
}

const std::string kFrameStart =
    "Send KB Cmd 0xAD \n\nSend EC Cmd 0xDC \n\nRead EC Data \n\nEC ACK OK. \n\n";
const std::string kTestLines = "  Eraseing...      : " + Marks(16) + " -- Erase OK. \n\n" +
                               "  Programing...    : " + Marks(16) + " -- Test OK. \n\n";

std::vector<std::uint8_t> RandomBytes(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

// The flash after /T: 256 bytes of 0x88, the rest of the first 4 KB sector
// erased, everything else as it was.
std::vector<std::uint8_t> AfterWriteTest(std::vector<std::uint8_t> flash) {
  for (size_t i = 0; i < 0x1000; ++i) flash[i] = i < 0x100 ? 0x88 : 0xFF;
  return flash;
}

size_t ChipSize(const std::string& chip) {
  if (chip == "xqr-a") return 256 * 1024;
  if (chip == "pm25lv040") return 512 * 1024;
  return 1024 * 1024;
}

TEST(WriteTest, ErasesTheFirstSectorAndWritesOnePageOf88OnEveryChipWithASectorErase) {
  for (const std::string chip : {"w25q80", "mx25l8005", "gd25q80", "at25sf081", "en25f80",
                                 "f25l08pa", "a25l080", "s25fl208k", "pm25lv040", "xqr-a"}) {
    SCOPED_TRACE(chip);
    SimFixture sim;
    const std::vector<std::uint8_t> before = RandomBytes(ChipSize(chip), 11);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    SimResult r = sim.Run({"--chip", chip}, {"/T"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.flash.size(), before.size());
    EXPECT_TRUE(r.flash == AfterWriteTest(before)) << "flash differs";
    EXPECT_EQ(sim.ReadFile("tolvi-sim-flash.bin"), r.flash);
    EXPECT_EQ(r.console, kFrameStart + kTestLines);
    // No identification: the opcodes are those for an all-zero ID.
    EXPECT_THAT(r.TraceLines("spi 9f"), testing::IsEmpty());
    EXPECT_THAT(r.TraceLines("spi 20"), testing::ElementsAre("spi 20 @000000"));
    EXPECT_THAT(r.TraceLines("spi 02"), testing::ElementsAre("spi 02 @000000 w256"));
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
    EXPECT_TRUE(r.keyboard_enabled);
  }
}

TEST(WriteTest, SendsTheEraseThenOneWriteEnabledPageAndDisablesWritesAfter) {
  SimResult r = simtest::RunSim({}, {"/T"}, {.port_trace = true});
  ASSERT_EQ(r.status, 0);
  const simtest::TunnelView tunnel = simtest::DecodeTunnel(r.port_trace);
  std::vector<std::string> sent;
  for (const auto& t : simtest::FromFirst(tunnel.transactions, 0x02)) {
    sent.push_back(simtest::Describe(t).substr(0, 2));
  }
  // Page program, its wait until ready, then write disable with its polls.
  EXPECT_THAT(sent, testing::ElementsAre("02", "05", "05", "04", "05"));
  const auto program = simtest::FromFirst(tunnel.transactions, 0x02).front();
  std::vector<std::uint8_t> expected = {0x00, 0x00, 0x00};
  expected.insert(expected.end(), 256, 0x88);
  EXPECT_EQ(program.written, expected);
  EXPECT_TRUE(program.read.empty());
  // The erase goes to address 0 after a write enable whose poll saw the latch.
  const auto erase = simtest::FromFirst(tunnel.transactions, 0x20);
  ASSERT_FALSE(erase.empty());
  EXPECT_EQ(erase.front().written, (std::vector<std::uint8_t>{0x00, 0x00, 0x00}));
  // After the test the flash no longer accepts writes.
  EXPECT_EQ(r.flash_status & 0x03, 0x00);
}

TEST(WriteTest, FrameLeavesWithoutResetAndHonoursKbcAndPreEnterOptions) {
  struct Case {
    const char* name;
    std::vector<std::string> board;
    std::vector<std::string> args;
    std::vector<std::string> kbc;
    std::vector<std::string> ec;
    std::string frame;
  };
  const std::string fail_frame =
      "Send KB Cmd 0xAD \n\nSend EC Cmd 0xDC \n\nRead EC Data \n\nEC ACK Fail. \n\n";
  const std::vector<Case> cases = {
      {"plain", {}, {"/T"}, {"kbc ad", "kbc ae"}, {"ec dc -> 33", "ec fc"}, kFrameStart},
      {"/j still leaves with fc",
       {},
       {"/T", "/j"},
       {"kbc ad", "kbc ae"},
       {"ec dc -> 33", "ec fc"},
       kFrameStart},
      // The line is printed, but the keyboard controller hears nothing.
      {"/k", {}, {"/T", "/k"}, {}, {"ec dc -> 33", "ec fc"}, kFrameStart},
      {"/k before /T", {}, {"/k", "/T"}, {}, {"ec dc -> 33", "ec fc"}, kFrameStart},
      {"wrong acknowledgement goes on",
       {"--ec-ack", "32"},
       {"/T"},
       {"kbc ad", "kbc ae"},
       {"ec dc -> 32", "ec fc"},
       fail_frame},
      {"zero acknowledgement goes on",
       {"--ec-ack", "00"},
       {"/T"},
       {"kbc ad", "kbc ae"},
       {"ec dc -> 00", "ec fc"},
       fail_frame},
      {"pre-enter chip",
       {"--chip-id", "5570"},
       {"/T"},
       {"kbc ad", "kbc ae"},
       {"ec dd", "ec dc -> 33", "ec fc"},
       kFrameStart},
      {"pre-enter chip with /e",
       {"--chip-id", "5570"},
       {"/T", "/e"},
       {"kbc ad", "kbc ae"},
       {"ec de", "ec dc -> 33", "ec fc"},
       kFrameStart},
      {"/e on another chip",
       {},
       {"/e", "/T"},
       {"kbc ad", "kbc ae"},
       {"ec dc -> 33", "ec fc"},
       kFrameStart},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    const std::vector<std::uint8_t> before = RandomBytes(1024 * 1024, 5);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    SimResult r = sim.Run(c.board, c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
    EXPECT_EQ(r.TraceLines("ec "), c.ec);
    EXPECT_EQ(r.console, c.frame + kTestLines);
    EXPECT_EQ(r.ec_resets, 0u);
    EXPECT_EQ(r.ec_flash_mode_entries, 1u);
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_TRUE(r.keyboard_enabled);
    EXPECT_TRUE(r.flash == AfterWriteTest(before)) << "flash differs";
  }
}

TEST(WriteTest, FlashThatNeverSetsItsWriteLatchEndsTheRunOutOfFlashModeWithStatusOne) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> kbc;
  };
  for (const Case& c : {Case{{"/T"}, {"kbc ad", "kbc ae"}},
                        Case{{"/T", "/j"}, {"kbc ad", "kbc ae"}}, Case{{"/T", "/k"}, {}}}) {
    SCOPED_TRACE(c.args.back());
    SimResult r = simtest::RunSim({"--fault", "wel-never-sets"}, c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.console.ends_with("\n\rTime-out: SPI flash write-enable latch never set\n"))
        << r.console;
    EXPECT_THAT(r.TraceLines("ec "), testing::ElementsAre("ec dc -> 33", "ec fc"));
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
    EXPECT_TRUE(r.keyboard_enabled);
    EXPECT_EQ(r.ec_resets, 0u);
  }
}

}  // namespace
