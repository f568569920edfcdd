// The keyboard controller of the board model on ports 0x60/0x64.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/board_host.h"

namespace simtest {
namespace {

using ::testing::ElementsAre;

TEST(BoardKbc, PendingOutputBytesDrainOneByOneThroughPort60) {
  for (uint32_t pending : {0u, 1u, 3u, 20u}) {
    BoardConfig config = DefaultBoardConfig();
    config.kbc.pending_bytes = pending;
    BoardHost host(config);
    uint32_t drained = 0;
    std::vector<uint8_t> bytes;
    while ((host.In(0x64) & 0x01) != 0 && drained < 1000) {
      bytes.push_back(host.In(0x60));
      ++drained;
    }
    EXPECT_EQ(drained, pending);
    for (size_t i = 1; i < bytes.size(); ++i) {
      EXPECT_NE(bytes[i], bytes[i - 1]) << "each read takes the next byte";
    }
    EXPECT_EQ(host.board.Kbc().PendingBytes(), 0u);
  }
}

TEST(BoardKbc, IbfStaysSetForTheConfiguredReadsAndTheCommandTakesEffectThen) {
  for (uint32_t latency : {0u, 1u, 4u}) {
    BoardConfig config = DefaultBoardConfig();
    config.kbc.ibf_latency = latency;
    BoardHost host(config);
    host.Out(0x64, 0xAD);
    for (uint32_t i = 0; i < latency; ++i) {
      EXPECT_EQ(host.In(0x64) & 0x02, 0x02) << "latency " << latency;
      EXPECT_TRUE(host.board.Kbc().KeyboardEnabled()) << "not taken yet";
    }
    EXPECT_EQ(host.In(0x64) & 0x02, 0x00);
    EXPECT_FALSE(host.board.Kbc().KeyboardEnabled());
  }
}

TEST(BoardKbc, DisableAndEnableCommandsAreTracedAndTracked) {
  BoardHost host;
  EXPECT_EQ(host.In(0x64), 0x14) << "idle: system flag and key lock open";
  host.Out(0x64, 0xAD);
  EXPECT_EQ(host.WaitFor(0x64, 0x02, 0x00), 2);
  EXPECT_FALSE(host.board.Kbc().KeyboardEnabled());
  EXPECT_EQ(host.In(0x64) & 0x08, 0x08) << "last write was a command";
  host.Out(0x64, 0xAE);
  EXPECT_GT(host.WaitFor(0x64, 0x02, 0x00), 0);
  EXPECT_TRUE(host.board.Kbc().KeyboardEnabled());
  EXPECT_THAT(host.trace, ElementsAre("kbc ad", "kbc ae"));
}

TEST(BoardKbc, FaultsKeepOutputPendingOrInputFull) {
  {
    BoardConfig config = DefaultBoardConfig();
    config.kbc.obf_stuck = true;
    BoardHost host(config);
    for (int i = 0; i < 100; ++i) host.In(0x60);
    EXPECT_EQ(host.In(0x64) & 0x01, 0x01);
  }
  {
    BoardConfig config = DefaultBoardConfig();
    config.kbc.ibf_stuck_from = 2;
    BoardHost host(config);
    host.Out(0x64, 0xAD);
    EXPECT_GT(host.WaitFor(0x64, 0x02, 0x00), 0);
    host.Out(0x64, 0xAE);
    EXPECT_EQ(host.WaitFor(0x64, 0x02, 0x00), -1);
    EXPECT_FALSE(host.board.Kbc().KeyboardEnabled());
  }
}

}  // namespace
}  // namespace simtest
