// The board model keeps what silicon keeps and shows only what crossed the
// bus: status bits across runs, busy time at zero bus time, a trace without
// lost answers, and the harness's own files out of the program's write limit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "support/chip_bench.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;
using ::testing::Contains;
using ::testing::Not;

constexpr const char* kStatusFile = "tolvi-sim-flash.bin.status";

// Polls until the part is ready, one transaction per poll and no time of its
// own; the count of polls, or -1 after a million.
int PollReady(simtest::ChipRig& rig) {
  for (int polls = 1; polls <= 1000000; ++polls) {
    if ((rig.Status() & 0x01) == 0) return polls;
  }
  return -1;
}

// /PB on a part whose protection bits are non-volatile holds in the next run:
// the update of that run must clear it first, and a program that skipped the
// clear would find its chip erase refused.
TEST(Silicon, ProtectionSetInOneRunHoldsInTheNext) {
  SimFixture sim;
  const std::vector<std::string> chip = {"--chip", "w25x80"};
  SimResult protect = sim.Run(chip, {"/PB"});
  ASSERT_EQ(protect.status, 0) << protect.console;
  ASSERT_NE(protect.flash_status & 0x7C, 0) << "/PB set no protection bit";

  // The file beside the flash holds the chip and its registers.
  std::vector<uint8_t> kept_bytes = sim.ReadFile(kStatusFile);
  std::istringstream kept(std::string(kept_bytes.begin(), kept_bytes.end()));
  std::string name;
  unsigned status1 = 0;
  unsigned status2 = 0;
  kept >> name >> std::hex >> status1 >> status2;
  ASSERT_EQ(name, "w25x80");
  EXPECT_EQ(status1, protect.flash_status & 0xFCu);

  // A run that does not touch the status starts and ends with it.
  SimResult dump = sim.Run(chip, {"/S", "64"});
  ASSERT_EQ(dump.status, 0);
  EXPECT_EQ(dump.flash_status, protect.flash_status);

  // The same chip, as a program without the status clear would meet it.
  std::vector<uint8_t> on_flash = sim.ReadFile("tolvi-sim-flash.bin");
  ASSERT_EQ(on_flash.size(), 1024u * 1024);
  on_flash[0] = 0x00;  // a byte the chip erase would clear
  simtest::ChipRig rig("w25x80", on_flash);
  rig.chip.RestoreStatus(static_cast<uint8_t>(status1), static_cast<uint8_t>(status2));
  rig.Tx(0x06);
  rig.Tx(0xC7);
  rig.clock.now_ns += 10'000'000'000;
  EXPECT_EQ(rig.flash[0], 0x00) << "the chip erase went through the protection";
  rig.WriteStatus({0x00});
  rig.Tx(0x06);
  rig.Tx(0xC7);
  EXPECT_EQ(rig.flash[0], 0xFF) << "cleared, the chip erases";

  // The program's update clears the protection before its first erase.
  const std::vector<uint8_t> image = simtest::TestImage(64 * 1024);
  sim.WriteFile("ec.bin", image);
  SimResult update = sim.Run(chip, {"ec.bin", "64"});
  ASSERT_EQ(update.status, 0) << update.console;
  EXPECT_TRUE(std::equal(image.begin(), image.end(), update.flash.begin()));
  const auto first_erase =
      std::find_if(update.trace.begin(), update.trace.end(), [](const std::string& line) {
        return line.rfind("spi d8", 0) == 0 || line.rfind("spi 20", 0) == 0;
      });
  ASSERT_NE(first_erase, update.trace.end());
  EXPECT_NE(std::find(update.trace.begin(), first_erase, "spi 01 w1"), first_erase);
}

// A volatile status write (0x50 first on a Winbond part) is gone in the next
// run, and a part that powers up protected does so in every run.
TEST(Silicon, VolatileBitsAndPowerUpProtectionDoNotPersist) {
  SimFixture sim;
  SimResult first = sim.Run({"--chip", "sst25vf080b"}, {"/S", "64"});
  ASSERT_EQ(first.status, 0);
  SimResult second = sim.Run({"--chip", "sst25vf080b"}, {"/S", "64"});
  EXPECT_EQ(second.flash_status & 0x1C, 0x1C) << "the SST part powers up protected";

  // The bare chip: a volatile write takes effect but is not kept.
  simtest::ChipRig rig("w25q80");
  rig.Tx(0x50);
  rig.Tx(0x01, {0x1C});
  EXPECT_EQ(rig.chip.StatusRegister() & 0x1C, 0x1C);
  EXPECT_EQ(rig.chip.KeptStatus1(), 0x00);
  rig.WriteStatus({0x0C});
  EXPECT_EQ(rig.chip.KeptStatus1(), 0x0C);
}

// At zero bus time a busy part still finishes: each poll takes the model's
// shortest poll, so a 0.7 ms page program ends within 700 polls.
TEST(Silicon, BusyTimePassesAtZeroBusTime) {
  simtest::ChipRig rig("w25q80");
  rig.Tx(0x06);
  rig.Tx(0x02, {0x00, 0x10, 0x00, 0x5A});
  const int polls = PollReady(rig);
  ASSERT_GT(polls, 0) << "the program never ended";
  EXPECT_LE(polls, 701);
  EXPECT_GE(rig.clock.now_ns, 700'000u);
  EXPECT_EQ(rig.flash[0x1000], 0x5A);
}

// An answer the EC never delivered is not in the trace.
TEST(Silicon, TheTraceShowsNoAnswerTheHostDidNotGet) {
  SimFixture sim;
  sim.WriteFile("ec.bin", simtest::TestImage(64 * 1024));
  SimResult r = sim.Run({"--fault", "ec-no-obf"}, {"ec.bin", "64"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.trace, Contains("ec dc"));
  EXPECT_THAT(r.trace, Not(Contains("ec dc -> 33")));
}

// file-short limits the program's files, not the harness's own trace.
TEST(Silicon, ShortFileWritesLeaveTheHarnessTraceWhole) {
  SimFixture sim;
  const std::vector<uint8_t> image = simtest::TestImage(64 * 1024);
  sim.WriteFile("ec.bin", image);
  SimResult r = sim.Run({"--fault", "file-short", "--trace", "t.txt"}, {"ec.bin", "64"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::vector<uint8_t> file = sim.ReadFile("t.txt");
  std::string expected;
  for (const std::string& line : r.trace) expected += line + "\n";
  EXPECT_GT(expected.size(), 8192u) << "the trace must outgrow the harness's buffer";
  EXPECT_EQ(std::string(file.begin(), file.end()), expected);
}

}  // namespace
