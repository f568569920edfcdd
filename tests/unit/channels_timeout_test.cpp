// A controller or flash that stops answering: the program prints one line,
// undoes what it changed (flash mode, keyboard), and ends with status 1 within
// its wait limit as the board's clock measures it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/exit_frame.h"
#include "platform/provider.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"
#include "unit/channels_test_support.h"

namespace {

using simtest::Count;
using simtest::SimFixture;
using simtest::SimResult;
using testing::Contains;
using testing::HasSubstr;

constexpr uint64_t kSecond = 1000000000;

// The two lines each stuck part prints: what was awaited, and in plain words.
const std::string kNoEcByte =
    "\n\rTime-out: no EC data byte (port 0x66 OBF) arrived\nThe EC stopped answering.\n";
const std::string kEcIbf =
    "\n\rTime-out: EC input buffer (port 0x66 IBF) never cleared\nThe EC stopped answering.\n";
const std::string kKbcObf =
    "\n\rTime-out: keyboard controller output (port 0x60) never drained\n"
    "The keyboard controller stopped answering.\n";
const std::string kKbcIbf =
    "\n\rTime-out: keyboard controller input buffer (port 0x64 IBF) never cleared\n"
    "The keyboard controller stopped answering.\n";
const std::string kBusy = "\n\rTime-out: SPI flash stayed busy\nThe flash chip stayed busy.\n";
const std::string kNoLatch =
    "\n\rTime-out: SPI flash write-enable latch never set\n"
    "The flash chip did not take the write enable.\n";

using Lines = std::vector<std::string>;
const Lines kKbcOffOn = {"kbc ad", "kbc ae"};

struct TimeoutCase {
  const char* name;
  Lines board;
  Lines args;
  const std::string& line;  // the one line printed
  bool entered_flash_mode;  // and, when it did, whether it could be asked to leave
  bool left_flash_mode;
  Lines kbc;    // KBC commands the controller saw; the keyboard is on at the end in every case
  Lines leave;  // the leave command the EC saw: never a reset before the work is done
  uint64_t min_s, max_s;  // the run's length on the board's clock
  int status;             // 2 once the flash was changed or the EC kept in flash mode, else 1
};

class StuckPart : public testing::TestWithParam<TimeoutCase> {};

TEST_P(StuckPart, EndsTheRunCleanlyWithTheOperationsLeaveCommand) {
  const TimeoutCase& c = GetParam();
  SimFixture sim;
  sim.WriteFile("ec.bin", simtest::TestImage(0x10000));
  SimResult r = sim.Run(c.board, c.args);
  EXPECT_EQ(r.status, c.status);
  EXPECT_THAT(r.console, HasSubstr(c.line));
  EXPECT_EQ(Count(r.console, "Time-out"), 1u) << r.console;
  EXPECT_EQ(r.ec_flash_mode_entries, c.entered_flash_mode ? 1u : 0u);
  EXPECT_EQ(r.ec_in_flash_mode, c.entered_flash_mode && !c.left_flash_mode);
  EXPECT_TRUE(r.keyboard_enabled);
  EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
  EXPECT_EQ(r.TraceLines("ec f"), c.leave);
  EXPECT_FALSE(r.spi_selected);
  EXPECT_GE(r.sim_time_ns, c.min_s * kSecond);
  EXPECT_LT(r.sim_time_ns, c.max_s * kSecond);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ChannelsTimeout, StuckPart, testing::Values(
    // No answer to 0xDC: leave flash mode without a reset (nothing new to
    // start), give the keyboard back.
    TimeoutCase{"NoEcAnswerToUpdate", {"--fault", "ec-no-obf"}, {"ec.bin", "64"}, kNoEcByte,
                true, true, kKbcOffOn, {"ec fc"}, 2, 3, 1},
    // The dump never disabled the keyboard, so it sends no 0xAE on a time-out.
    TimeoutCase{"NoEcAnswerToDump", {"--fault", "ec-no-obf"}, {"/S", "64"}, kNoEcByte,
                true, true, {}, {"ec fe"}, 2, 3, 1},
    TimeoutCase{"NoEcAnswerToDumpWithoutReset", {"--fault", "ec-no-obf"}, {"/S", "64", "/j"},
                kNoEcByte, true, true, {}, {"ec fc"}, 2, 3, 1},
    // On a slow bus the polls themselves use up the limit: it is elapsed
    // time, not the stalls between polls (those alone would take 22 s here).
    TimeoutCase{"NoEcAnswerOnASlowBus", {"--fault", "ec-no-obf", "--bus-ns", "200000"},
                {"/S", "64"}, kNoEcByte, true, true, {}, {"ec fe"}, 2, 3, 1},
    // The EC stops taking bytes after 0xDC: it cannot be asked to leave, but
    // the keyboard is enabled again. The EC kept in flash mode makes it 2.
    TimeoutCase{"EcStopsTakingBytes", {"--fault", "ec-ibf-stuck:2"}, {"ec.bin", "64"}, kEcIbf,
                true, false, kKbcOffOn, {}, 4, 5, 2},
    // /k: the keyboard was never disabled, so it is not touched.
    TimeoutCase{"NoEcAnswerKeyboardLeftAlone", {"--fault", "ec-no-obf"}, {"ec.bin", "64", "/k"},
                kNoEcByte, true, true, {}, {"ec fc"}, 2, 3, 1},
    // A keyboard byte that never goes away: nothing else is sent at all.
    TimeoutCase{"KeyboardByteNeverDrains", {"--fault", "kbc-obf-stuck"}, {"ec.bin", "64"},
                kKbcObf, false, false, {}, {}, 1, 2, 1},
    // 0xAD is never taken; the 0xAE attempt gives up too, without recursing.
    TimeoutCase{"KeyboardControllerStopsTakingBytes", {"--fault", "kbc-ibf-stuck:1"},
                {"ec.bin", "64"}, kKbcIbf, false, false, {"kbc ad"}, {}, 2, 3, 1},
    // A flash that stays busy (before the update's first erase): close the
    // tunnel, leave flash mode, enable the keyboard.
    TimeoutCase{"FlashStaysBusy", {"--fault", "busy-stuck"}, {"ec.bin", "64"}, kBusy,
                true, true, kKbcOffOn, {"ec fc"}, 10, 12, 1},
    TimeoutCase{"FlashStaysBusyWithoutReset", {"--fault", "busy-stuck"}, {"ec.bin", "64", "/j"},
                kBusy, true, true, kKbcOffOn, {"ec fc"}, 10, 12, 1},
    TimeoutCase{"FlashLatchNeverSets", {"--fault", "wel-never-sets"}, {"ec.bin", "64"}, kNoLatch,
                true, true, kKbcOffOn, {"ec fc"}, 1, 2, 1},
    // The write test never resets the EC; busy after its erase.
    TimeoutCase{"WriteTestFlashStaysBusy", {"--fault", "busy-stuck"}, {"/T"}, kBusy,
                true, true, kKbcOffOn, {"ec fc"}, 10, 12, 2},
    TimeoutCase{"WriteTestFlashStaysBusyKeyboardLeftAlone", {"--fault", "busy-stuck"},
                {"/T", "/k"}, kBusy, true, true, {}, {"ec fc"}, 10, 12, 2}),
    [](const testing::TestParamInfo<TimeoutCase>& info) { return info.param.name; });
// clang-format on

// Called outside tolvi::main, a time-out ends the innermost exit frame.
TEST(ChannelsTimeout, ExitFrameReturnsTheStatusOfTheWaitThatGaveUp) {
  channels::AttachedBoard bench(simtest::Configured([](BoardConfig& c) { c.ec.no_obf = true; }));
  std::u16string printed;
  ConsoleSink sink = {&printed,
                      nullptr,
                      [](void* out, const char16_t* text, size_t count) {
                        static_cast<std::u16string*>(out)->append(text, count);
                      },
                      nullptr,
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
  EXPECT_EQ(printed, std::u16string(kNoEcByte.begin(), kNoEcByte.end()));
  EXPECT_EQ(status, 1);
  EXPECT_EQ(reached_end, 0);
  EXPECT_EQ(bench.host.board.Ec().InFlashMode(), false);
}

}  // namespace
