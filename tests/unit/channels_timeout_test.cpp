// A controller or flash that stops answering: the program prints one line,
// undoes what it changed (flash mode, keyboard), and ends with status 1 within
// its wait limit as the board's clock measures it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/exit_frame.h"
#include "platform/provider.h"
#include "support/sim_fixture.h"
#include "unit/channels_test_support.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;
using testing::Contains;
using testing::HasSubstr;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

constexpr uint64_t kSecond = 1000000000;

// The EC never answers 0xDC; several operations meet it.
const std::string kNoEcByte = "\n\rTime-out: no EC data byte (port 0x66 OBF) arrived\n";

struct TimeoutCase {
  std::vector<std::string> board;
  std::vector<std::string> args;
  std::string line;        // the one line printed
  bool leaves_flash_mode;  // the EC is out of flash mode at the end
  bool entered_flash_mode;
  bool keyboard_enabled;
  std::vector<std::string> kbc;  // KBC commands the controller saw
  uint64_t min_ns, max_ns;       // the run's length on the board's clock
};

TEST(ChannelsTimeout, StuckControllerOrFlashEndsTheRunCleanly) {
  const std::vector<TimeoutCase> cases = {
      // No answer to 0xDC: leave flash mode, give the keyboard back.
      {{"--fault", "ec-no-obf"},
       {"ec.bin", "64"},
       kNoEcByte,
       true,
       true,
       true,
       {"kbc ad", "kbc ae"},
       2 * kSecond,
       3 * kSecond},
      // The dump never disabled the keyboard, so it sends no 0xAE on a time-out.
      {{"--fault", "ec-no-obf"},
       {"/S", "64"},
       kNoEcByte,
       true,
       true,
       true,
       {},
       2 * kSecond,
       3 * kSecond},
      // On a slow bus the polls themselves use up the limit: it is elapsed
      // time, not the stalls between polls (those alone would take 22 s here).
      {{"--fault", "ec-no-obf", "--bus-ns", "200000"},
       {"/S", "64"},
       kNoEcByte,
       true,
       true,
       true,
       {},
       2 * kSecond,
       3 * kSecond},
      // The EC stops taking bytes after 0xDC: it cannot be asked to leave, but
      // the keyboard is enabled again.
      {{"--fault", "ec-ibf-stuck:2"},
       {"ec.bin", "64"},
       "\n\rTime-out: EC input buffer (port 0x66 IBF) never cleared\n",
       false,
       true,
       true,
       {"kbc ad", "kbc ae"},
       4 * kSecond,
       5 * kSecond},
      // /k: the keyboard was never disabled, so it is not touched.
      {{"--fault", "ec-no-obf"},
       {"ec.bin", "64", "/k"},
       kNoEcByte,
       true,
       true,
       true,
       {},
       2 * kSecond,
       3 * kSecond},
      // A keyboard byte that never goes away: nothing else is sent at all.
      {{"--fault", "kbc-obf-stuck"},
       {"ec.bin", "64"},
       "\n\rTime-out: keyboard controller output (port 0x60) never drained\n",
       true,
       false,
       true,
       {},
       1 * kSecond,
       2 * kSecond},
      // 0xAD is never taken; the 0xAE attempt gives up too, without recursing.
      {{"--fault", "kbc-ibf-stuck:1"},
       {"ec.bin", "64"},
       "\n\rTime-out: keyboard controller input buffer (port 0x64 IBF) never cleared\n",
       true,
       false,
       true,
       {"kbc ad"},
       2 * kSecond,
       3 * kSecond},
      // A flash that stays busy: close the tunnel, leave flash mode, enable
      // the keyboard.
      {{"--fault", "busy-stuck"},
       {"ec.bin", "64", "/j"},
       "\n\rTime-out: SPI flash stayed busy\n",
       true,
       true,
       true,
       {"kbc ad", "kbc ae"},
       10 * kSecond,
       12 * kSecond},
      {{"--fault", "wel-never-sets"},
       {"ec.bin", "64"},
       "\n\rTime-out: SPI flash write-enable latch never set\n",
       true,
       true,
       true,
       {"kbc ad", "kbc ae"},
       1 * kSecond,
       2 * kSecond},
  };
  for (const TimeoutCase& c : cases) {
    SimFixture sim;
    sim.WriteFile("ec.bin", std::vector<uint8_t>(0x10000, 0x11));
    SimResult r = sim.Run(c.board, c.args);
    std::string line = testing::PrintToString(c.board) + testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_THAT(r.console, HasSubstr(c.line)) << line;
    EXPECT_EQ(Count(r.console, "Time-out"), 1u) << line << "\n" << r.console;
    EXPECT_EQ(r.ec_flash_mode_entries, c.entered_flash_mode ? 1u : 0u) << line;
    EXPECT_EQ(r.ec_in_flash_mode, !c.leaves_flash_mode) << line;
    EXPECT_EQ(r.keyboard_enabled, c.keyboard_enabled) << line;
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc) << line;
    EXPECT_FALSE(r.spi_selected) << line;
    EXPECT_GE(r.sim_time_ns, c.min_ns) << line;
    EXPECT_LT(r.sim_time_ns, c.max_ns) << line;
  }
}

TEST(ChannelsTimeout, LeaveCommandIsTheOneTheOperationWouldSend) {
  struct LeaveCase {
    std::string fault;
    std::vector<std::string> args;
    std::vector<std::string> leave;
  };
  // The dump never writes, so its flash is never busy; its entry answer is
  // withheld instead.
  const std::vector<LeaveCase> cases = {
      {"busy-stuck", {"ec.bin", "64"}, {"ec fe"}},
      {"busy-stuck", {"ec.bin", "64", "/j"}, {"ec fc"}},
      {"ec-no-obf", {"/S", "64"}, {"ec fe"}},
      {"ec-no-obf", {"/S", "64", "/j"}, {"ec fc"}},
      {"busy-stuck", {"/T"}, {"ec fc"}},
      {"busy-stuck", {"/T", "/k"}, {"ec fc"}},
  };
  for (const LeaveCase& c : cases) {
    SimFixture sim;
    sim.WriteFile("ec.bin", std::vector<uint8_t>(0x10000, 0x11));
    SimResult r = sim.Run({"--fault", c.fault}, c.args);
    std::string line = c.fault + testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 1) << line;
    EXPECT_EQ(r.TraceLines("ec f"), c.leave) << line;
    EXPECT_FALSE(r.ec_in_flash_mode) << line;
    EXPECT_TRUE(r.keyboard_enabled) << line;
  }
}

// Called outside tolvi::main, a time-out ends the innermost exit frame.
TEST(ChannelsTimeout, ExitFrameReturnsTheStatusOfTheWaitThatGaveUp) {
  BoardConfig config = DefaultBoardConfig();
  config.ec.no_obf = true;
  channels::AttachedBoard bench(config);
  std::u16string printed;
  ConsoleSink sink = {&printed,
                      nullptr,
                      [](void* out, const char16_t* text, size_t count) {
                        static_cast<std::u16string*>(out)->append(text, count);
                      },
                      nullptr,
                      nullptr,
                      nullptr};
  PlatSetConsoleSink(&sink);
  int reached_end = 0;
  int status = iRunWithExitFrame(
      [](void* context) {
        vSendEcCommand(0x80);
        vSendEcData(0x00);
        ucReadEcData();
        *static_cast<int*>(context) = 1;
        return 0;
      },
      &reached_end);
  PlatSetConsoleSink(nullptr);
  EXPECT_EQ(printed, u"\n\rTime-out: no EC data byte (port 0x66 OBF) arrived\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(reached_end, 0);
  EXPECT_EQ(bench.host.board.Ec().InFlashMode(), false);
}

}  // namespace
