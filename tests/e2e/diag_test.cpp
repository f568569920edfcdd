// The write test (/T) through the harness: what it leaves in the flash, the
// exact screen text, the bytes it puts on the SPI bus and the EC and keyboard
// commands of its frame.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/chip_facts.h"
#include "support/frame_checks.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"
#include "support/tunnel_transactions.h"

namespace {

using simtest::FrameStart;
using simtest::Marks;
using simtest::RandomBytes;
using simtest::SimFixture;
using simtest::SimResult;

const std::string kTestLines = "  Eraseing...      : " + Marks(16) + " -- Erase OK. \n\n" +
                               "  Programing...    : " + Marks(16) + " -- Test OK. \n\n";

// The flash after /T: 256 bytes of 0x88, the rest of the first 4 KB sector
// erased, everything else as it was.
std::vector<std::uint8_t> AfterWriteTest(std::vector<std::uint8_t> flash) {
  for (size_t i = 0; i < 0x1000; ++i) flash[i] = i < 0x100 ? 0x88 : 0xFF;
  return flash;
}

// The parts the write test's page lands on whole: a 4 KB sector erase, a
// page buffer of 256 bytes (a 32-byte buffer wraps the page, a byte-only
// part keeps the first byte of the page command), and no
// block protection at power-up (the SST parts, which want 0x50 before a
// status write, come up protected).
bool TakesTheWriteTest(const simtest::ChipFacts& chip) {
  return chip.sector_erase.size == 0x1000 && chip.sector_erase.opcode == 0x20 &&
         chip.program != ProgramKind::kChunks32 && !chip.write_status_enable &&
         !chip.BytePerProgram();
}

// On every part the flash file is the oracle: the test says OK only where
// the sector holds the pattern, and else names the first byte that differs;
// nothing beyond the first sector changes either way. Where the part takes the
// pattern whole, the screen and the commands are exact too.
TEST(WriteTest, ErasesTheFirstSectorAndWritesOnePageOf88AndSaysOkOnlyWhereItLanded) {
  size_t takers = 0;
  for (const simtest::ChipFacts& facts : simtest::AllChipFacts()) {
    SCOPED_TRACE(facts.name);
    SimFixture sim;
    const std::vector<std::uint8_t> before = RandomBytes(facts.size_kb * 1024, 11);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    SimResult r = sim.Run({"--chip", facts.name}, {"/T"});
    ASSERT_EQ(r.flash.size(), before.size());
    EXPECT_TRUE(std::equal(r.flash.begin() + 0x1000, r.flash.end(), before.begin() + 0x1000));
    EXPECT_EQ(sim.ReadFile("tolvi-sim-flash.bin"), r.flash);
    EXPECT_THAT(r.TraceLines("ec "), testing::ElementsAre("ec dc -> 33", "ec fc"));
    EXPECT_THAT(r.TraceLines("kbc "), testing::ElementsAre("kbc ad", "kbc ae"));
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
    EXPECT_TRUE(r.keyboard_enabled);
    size_t differs = 0;
    while (differs < 0x1000 && r.flash[differs] == (differs < 0x100 ? 0x88 : 0xFF)) ++differs;
    if (differs == 0x1000) {
      EXPECT_EQ(r.status, 0);
      EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with(" -- Test OK. \n\n")) << r.console;
    } else {
      // The erase went out: the sector counts as changed.
      EXPECT_EQ(r.status, 2);
      const std::string line =
          simtest::CompareFail(differs, differs < 0x100 ? 0x88u : 0xFFu, r.flash[differs], "Test");
      EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with(line + "\n")) << r.console;
    }
    if (!TakesTheWriteTest(facts)) continue;
    ++takers;
    EXPECT_TRUE(r.flash == AfterWriteTest(before)) << "flash differs";
    EXPECT_EQ(r.console, FrameStart(true) + kTestLines);
    // No identification: the opcodes are those for an all-zero ID.
    EXPECT_THAT(r.TraceLines("spi 9f"), testing::IsEmpty());
    EXPECT_THAT(r.TraceLines("spi 20"), testing::ElementsAre("spi 20 @000000"));
    EXPECT_THAT(r.TraceLines("spi 02"), testing::ElementsAre("spi 02 @000000 w256"));
  }
  EXPECT_GE(takers, 12u) << "the parts the write test runs on";
  // A byte the erase left past the page is found too.
  const SimResult r = simtest::RunSim({"--fault", "erase-leaves:800"}, {"/T"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with(
      simtest::CompareFail(0x800, 0xFF, r.flash[0x800], "Test") + "\n"))
      << r.console;
  EXPECT_NE(r.flash[0x800], 0xFF);
}

TEST(WriteTest, SendsTheEraseThenOneWriteEnabledPageAndDisablesWritesAfter) {
  SimResult r = simtest::RunSim({}, {"/T"}, {.port_trace = true});
  ASSERT_EQ(r.status, 0);
  const simtest::TunnelView tunnel = simtest::DecodeTunnel(r.port_trace);
  std::vector<std::string> sent;
  for (const auto& t : simtest::FromFirst(tunnel.transactions, 0x02)) {
    sent.push_back(simtest::Describe(t).substr(0, 2));
  }
  // Page program, its wait until ready, then the read-back pass: write
  // disable with its polls, the fast read, and the poll that ends it.
  EXPECT_THAT(sent, testing::ElementsAre("02", "05", "05", "04", "05", "05", "0b", "05"));
  const auto program = simtest::FromFirst(tunnel.transactions, 0x02).front();
  // Address 0x000000, then the page of 0x88.
  std::vector<std::uint8_t> expected(3 + 256, 0x88);
  std::fill_n(expected.begin(), 3, 0x00);
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
  for (const simtest::FrameCase& c : simtest::FrameCases("/T")) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    const std::vector<std::uint8_t> before = RandomBytes(1024 * 1024, 5);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    SimResult r = sim.Run(c.board, c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
    EXPECT_EQ(r.TraceLines("ec "), c.ec);
    EXPECT_EQ(r.console, FrameStart(c.ack_ok) + kTestLines);
    EXPECT_EQ(r.ec_resets, 0u);
    EXPECT_EQ(r.ec_flash_mode_entries, 1u);
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_TRUE(r.keyboard_enabled);
    EXPECT_TRUE(r.flash == AfterWriteTest(before)) << "flash differs";
  }
}

TEST(WriteTest, FlashThatNeverSetsItsWriteLatchEndsTheRunOutOfFlashModeWithStatusOne) {
  simtest::ExpectLatchTimeoutLeavesTheFrame("/T");
}

}  // namespace
