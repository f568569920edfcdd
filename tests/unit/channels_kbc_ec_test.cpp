// The keyboard-controller and EC channels on the ports: handshakes, the KBC
// drain, EC RAM reads, flash-mode entry and leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/flash_traits.h"
#include "flash/operation_frame.h"
#include "unit/channels_test_support.h"

namespace {

using channels::AttachedBoard;
using testing::ElementsAre;

TEST(ChannelsKbc, PendingKeyboardBytesAreDrainedBeforeTheCommand) {
  for (uint32_t pending : {0u, 1u, 3u, 16u}) {
    BoardConfig config = DefaultBoardConfig();
    config.kbc.pending_bytes = pending;
    config.kbc.ibf_latency = 3;
    AttachedBoard bench(config);
    vSendKbcCommand(0xAD);
    std::vector<std::string> data = bench.DataAccesses();
    ASSERT_EQ(data.size(), pending + 1) << pending;
    for (uint32_t i = 0; i < pending; ++i) EXPECT_EQ(data[i].substr(0, 5), "in 60") << pending;
    EXPECT_EQ(data.back(), "out 64 ad") << pending;
    EXPECT_EQ(bench.HandshakeViolation(), "") << pending;
    EXPECT_EQ(bench.host.board.Kbc().PendingBytes(), 0u);
    EXPECT_FALSE(bench.host.board.Kbc().KeyboardEnabled());
    EXPECT_EQ(FlashState.KbcDisabled, 1);

    vSendKbcCommand(0xAE);
    EXPECT_TRUE(bench.host.board.Kbc().KeyboardEnabled());
    EXPECT_EQ(FlashState.KbcDisabled, 0);
    EXPECT_EQ(bench.HandshakeViolation(), "") << pending;
  }
}

TEST(ChannelsEc, RamReadIsCommandAddressAndAnswer) {
  for (uint32_t latency : {0u, 1u, 5u}) {
    BoardConfig config = DefaultBoardConfig();
    config.ec.ibf_latency = latency;
    AttachedBoard bench(config);
    EXPECT_EQ(ucReadEcRam(0xD9), 'Q');
    EXPECT_THAT(bench.DataAccesses(), ElementsAre("out 66 80", "out 62 d9", "in 62 51"));
    EXPECT_EQ(bench.HandshakeViolation(), "") << latency;
    EXPECT_THAT(bench.host.trace, ElementsAre("ec 80 d9 -> 51"));
  }
}

TEST(ChannelsEc, StaleOutputByteIsNotDrainedBeforeACommand) {
  BoardConfig config = DefaultBoardConfig();
  config.ec.stale_output = true;
  config.ec.stale_byte = 0x77;
  AttachedBoard bench(config);
  vSendEcCommand(0xDC);
  EXPECT_EQ(ucReadEcData(), 0x77);
  EXPECT_EQ(ucReadEcData(), 0x33);
}

struct EntryCase {
  uint16_t chip_id;
  uint8_t alt_enter;
  uint8_t ack;
  uint64_t no_reset;
  std::vector<std::string> writes;
  bool accepted;
  uint8_t leave;
};

TEST(ChannelsEc, FlashModeEntrySendsThePreEnterCommandOnlyForTheModeSelectChip) {
  const uint16_t other = static_cast<uint16_t>(ModeSelectModel ^ 0x0101);
  const std::vector<EntryCase> cases = {
      {ModeSelectModel, 0, 0x33, 0, {"out 66 dd", "out 66 dc"}, true, 0xFE},
      {ModeSelectModel, 1, 0x33, 1, {"out 66 de", "out 66 dc"}, true, 0xFC},
      {other, 0, 0x33, 0, {"out 66 dc"}, true, 0xFE},
      {other, 1, 0x33, 0, {"out 66 dc"}, true, 0xFE},
      {0xFFFF, 1, 0x32, 0, {"out 66 dc"}, false, 0xFE},
      {other, 0, 0x00, 1, {"out 66 dc"}, false, 0xFC},
  };
  for (const EntryCase& c : cases) {
    BoardConfig config = DefaultBoardConfig();
    config.ec.ack = c.ack;
    AttachedBoard bench(config);
    FlashState.ChipId = c.chip_id;
    FlashState.AltEnterMode = c.alt_enter;
    FlashState.NoReset = c.no_reset;
    std::string line = std::to_string(c.chip_id) + "/" + std::to_string(c.alt_enter);
    EXPECT_EQ(bOpenOperationFrame(kDumpFrame), c.accepted) << line;
    std::vector<std::string> data = bench.DataAccesses();
    ASSERT_FALSE(data.empty()) << line;
    data.pop_back();  // the acknowledgement read
    EXPECT_EQ(data, c.writes) << line;
    EXPECT_EQ(bench.HandshakeViolation(), "") << line;
    EXPECT_TRUE(bench.host.board.Ec().InFlashMode()) << line;
    EXPECT_EQ(FlashState.EcFlashModeEntered, 1) << line;
    EXPECT_EQ(FlashState.EcLeaveCommand, c.leave) << line;

    bench.ForgetPorts();
    vLeaveEcFlashMode(c.leave == 0xFE);
    EXPECT_THAT(bench.DataAccesses(), ElementsAre(c.leave == 0xFE ? "out 66 fe" : "out 66 fc"));
    EXPECT_FALSE(bench.host.board.Ec().InFlashMode()) << line;
    EXPECT_EQ(FlashState.EcFlashModeEntered, 0) << line;
    EXPECT_EQ(bench.host.board.Ec().Resets(), c.leave == 0xFE ? 1u : 0u) << line;
  }
}

TEST(ChannelsEc, LeaveByteChosenByTheOperationIsKept) {
  AttachedBoard bench;
  FlashState.EcLeaveCommand = 0xFC;  // as the write test and protection preset it
  vSendEcCommand(0xDC);
  EXPECT_EQ(FlashState.EcFlashModeEntered, 1);
  EXPECT_EQ(FlashState.EcLeaveCommand, 0xFC);
  vSendEcCommand(0xFE);
  EXPECT_EQ(FlashState.EcFlashModeEntered, 0);
}

}  // namespace
