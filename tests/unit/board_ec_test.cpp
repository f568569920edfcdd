// The EC host interface of the board model, driven as a host would drive it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "support/board_host.h"
#include "tolvi_config.h"

namespace simtest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(BoardEc, StatusReadsIbfForTheConfiguredNumberOfReadsAfterEachWrite) {
  for (uint32_t latency : {0u, 1u, 2u, 7u}) {
    for (uint16_t port : {uint16_t{0x66}, uint16_t{0x62}}) {
      BoardHost host(Configured([&](BoardConfig& c) { c.ec.ibf_latency = latency; }));
      host.Out(port, 0x42);
      for (uint32_t i = 0; i < latency; ++i) {
        EXPECT_EQ(host.In(0x66) & 0x02, 0x02) << "latency " << latency << " read " << i;
      }
      EXPECT_EQ(host.In(0x66) & 0x02, 0x00) << "latency " << latency;
    }
  }
}

TEST(BoardEc, StatusKeepsTheAcpiCommandBitOfTheLastWrite) {
  BoardHost host;
  EXPECT_EQ(host.In(0x66), 0x00);
  ASSERT_TRUE(host.EcCommand(0x42));  // unknown command: no answer
  EXPECT_EQ(host.In(0x66), 0x08);     // CMD set, BURST and event bits clear
  host.Out(0x62, 0x00);
  ASSERT_TRUE(host.EcIbfClear());
  EXPECT_EQ(host.In(0x66), 0x00);
}

TEST(BoardEc, RamReadAnswersTheByteAndTracesIt) {
  BoardHost host;
  std::string version;
  for (int address = 0xD8; address <= 0xDF; ++address) {
    int value = host.EcReadRam(static_cast<uint8_t>(address));
    ASSERT_GE(value, 0);
    version += static_cast<char>(value);
  }
  EXPECT_EQ(version, "XQR02A.0");
  EXPECT_EQ(host.EcReadRam(0x00), 0x00);
  EXPECT_EQ(host.trace.front(), "ec 80 d8 -> 58");
  EXPECT_EQ(host.trace.back(), "ec 80 00 -> 00");
  EXPECT_EQ(host.In(0x66) & 0x01, 0x00) << "reading 0x62 clears OBF";
}

TEST(BoardEc, RamComesFromTheConfiguredContents) {
  uint8_t ram[256];
  for (int i = 0; i < 256; ++i) ram[i] = static_cast<uint8_t>(255 - i);
  BoardHost host(Configured([&](BoardConfig& c) { c.ec.ram = ram; }));
  for (int address : {0x00, 0x7F, 0xD8, 0xFF}) {
    EXPECT_EQ(host.EcReadRam(static_cast<uint8_t>(address)), 255 - address);
  }
}

TEST(BoardEc, FlashModeEntryAnswersTheConfiguredAck) {
  for (uint8_t ack : {uint8_t{0x33}, uint8_t{0x32}, uint8_t{0x00}}) {
    BoardHost host(Configured([&](BoardConfig& c) { c.ec.ack = ack; }));
    ASSERT_TRUE(host.EcCommand(0xDC));
    EXPECT_EQ(host.EcRead(), ack);
    EXPECT_TRUE(host.board.Ec().InFlashMode());
    char expected[16];
    std::snprintf(expected, sizeof(expected), "ec dc -> %02x", ack);
    EXPECT_THAT(host.trace, ElementsAre(expected));
  }
}

TEST(BoardEc, PreEnterCommandsAreRecordedAndUnknownOnesIgnored) {
  BoardHost host;
  ASSERT_TRUE(host.EcCommand(0xDD));
  ASSERT_TRUE(host.EcCommand(0xDE));
  ASSERT_TRUE(host.EcCommand(0x42));
  EXPECT_EQ(host.board.Ec().PreEnterCount(), 2u);
  EXPECT_EQ(host.board.Ec().LastPreEnter(), 0xDE);
  EXPECT_FALSE(host.board.Ec().InFlashMode());
  EXPECT_EQ(host.In(0x66) & 0x01, 0x00) << "no command here answers";
  EXPECT_THAT(host.trace, ElementsAre("ec dd", "ec de", "ec 42"));
}

// A program that leaves out the pre-enter command must not reach the flash
// on the mode-select chip's board; each entry wants its own.
TEST(BoardEc, TheModeSelectChipsEcEntersFlashModeOnlyAfterAPreEnterCommand) {
  BoardHost host(Configured([](BoardConfig& c) { c.sio.chip_id = TOLVI_MODE_SELECT_MODEL; }));
  ASSERT_TRUE(host.EcCommand(0xDC));
  EXPECT_NE(host.EcRead(), 0x33);
  EXPECT_FALSE(host.board.Ec().InFlashMode());
  ASSERT_TRUE(host.Follow(0x01));  // not in follow mode: the flash sees nothing
  EXPECT_TRUE(host.spi.events.empty());
  for (uint8_t pre_enter : {uint8_t{0xDD}, uint8_t{0xDE}}) {
    ASSERT_TRUE(host.EcCommand(pre_enter));
    ASSERT_TRUE(host.EnterFlashMode());
    EXPECT_TRUE(host.board.Ec().InFlashMode());
    ASSERT_TRUE(host.EcCommand(0xFC));
    EXPECT_FALSE(host.board.Ec().InFlashMode());
  }
  ASSERT_TRUE(host.EcCommand(0xDC));
  EXPECT_NE(host.EcRead(), 0x33);
  EXPECT_FALSE(host.board.Ec().InFlashMode());
  EXPECT_EQ(host.board.Ec().FlashModeEntries(), 2u);
}

// The trace shows an answer only if the host could have read it.
TEST(BoardEc, ALostAnswerIsNotInTheTrace) {
  BoardHost host(Configured([](BoardConfig& c) { c.ec.no_obf = true; }));
  ASSERT_TRUE(host.EcCommand(0x80) && host.EcData(0xD8));
  ASSERT_TRUE(host.EcCommand(0xDC));
  EXPECT_EQ(host.In(0x66) & 0x01, 0x00);
  EXPECT_THAT(host.trace, ElementsAre("ec 80 d8", "ec dc"));
}

TEST(BoardEc, FollowModeRelaysEachSubCommandToTheSpiBus) {
  BoardHost host;
  host.spi.answers = {0xEF, 0x30, 0x14};
  ASSERT_TRUE(host.EnterFlashMode());
  ASSERT_TRUE(host.Follow(0x01));
  ASSERT_TRUE(host.Follow(0x02, 0x9F));
  std::vector<int> id;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(host.Follow(0x04));
    id.push_back(host.EcRead());
  }
  ASSERT_TRUE(host.Follow(0x01));  // a new transaction ends the open one first
  ASSERT_TRUE(host.Follow(0x03, 0x5A));
  ASSERT_TRUE(host.Follow(0x05));
  ASSERT_TRUE(host.Follow(0x05));  // closing a closed bus does nothing
  EXPECT_THAT(id, ElementsAre(0xEF, 0x30, 0x14));
  EXPECT_THAT(host.spi.events,
              ElementsAreArray({"S", "W 9f", "R", "R", "R", "D", "S", "W 5a", "D"}));
  EXPECT_FALSE(host.board.Ec().SpiSelected());
}

TEST(BoardEc, TheByteAfterAnOpcodeOrDataSubCommandIsAlwaysAnOperand) {
  for (uint8_t operand :
       {uint8_t{0x01}, uint8_t{0x04}, uint8_t{0x05}, uint8_t{0xFC}, uint8_t{0xFE}, uint8_t{0xDC}}) {
    for (uint8_t sub_command : {uint8_t{0x02}, uint8_t{0x03}}) {
      BoardHost host;
      ASSERT_TRUE(host.EnterFlashMode());
      ASSERT_TRUE(host.Follow(0x01));
      ASSERT_TRUE(host.Follow(sub_command, operand));
      char shifted[8];
      std::snprintf(shifted, sizeof(shifted), "W %02x", operand);
      EXPECT_THAT(host.spi.events, ElementsAre("S", shifted));
      EXPECT_TRUE(host.board.Ec().InFlashMode());
      EXPECT_EQ(host.board.Ec().Resets(), 0u);
      EXPECT_EQ(host.In(0x66) & 0x01, 0x00);
    }
  }
}

TEST(BoardEc, ReadingADeselectedBusGivesFloatingOnes) {
  BoardHost host;
  host.spi.answers = {0x12};
  ASSERT_TRUE(host.EnterFlashMode());
  ASSERT_TRUE(host.Follow(0x04));
  EXPECT_EQ(host.EcRead(), 0xFF);
  ASSERT_TRUE(host.Follow(0x02, 0x06));
  EXPECT_TRUE(host.spi.events.empty()) << "nothing reaches a deselected chip";
}

TEST(BoardEc, LeavingFlashModeEndsTheTransactionAndResetsOnlyOnFe) {
  struct Case {
    uint8_t leave;
    uint32_t resets;
    const char* line;
  };
  for (const Case& c : {Case{0xFE, 1, "ec fe"}, Case{0xFC, 0, "ec fc"}}) {
    BoardHost host;
    ASSERT_TRUE(host.EnterFlashMode());
    ASSERT_TRUE(host.Follow(0x01));
    ASSERT_TRUE(host.Follow(0x02, 0x05));
    ASSERT_TRUE(host.EcCommand(c.leave));
    EXPECT_FALSE(host.board.Ec().InFlashMode());
    EXPECT_FALSE(host.board.Ec().SpiSelected());
    EXPECT_EQ(host.board.Ec().Resets(), c.resets);
    EXPECT_THAT(host.spi.events, ElementsAre("S", "W 05", "D"));
    EXPECT_EQ(host.trace.back(), c.line);
    // Outside flash mode the sub-commands are EC commands again: 0x80 reads RAM.
    EXPECT_EQ(host.EcReadRam(0xD8), 'X');
  }
}

TEST(BoardEc, AStaleOutputByteIsReadBeforeTheAck) {
  BoardHost host(Configured([](BoardConfig& c) {
    c.ec.stale_output = true;
    c.ec.stale_byte = 0xA5;
  }));
  ASSERT_TRUE(host.EcCommand(0xDC));
  EXPECT_EQ(host.EcRead(), 0xA5);
  EXPECT_EQ(host.EcRead(), 0x33);
  EXPECT_EQ(host.In(0x66) & 0x01, 0x00);
  EXPECT_EQ(host.In(0x62), 0x33) << "the data register keeps its last byte";
}

TEST(BoardEc, FaultsStopTheHandshake) {
  {
    BoardHost host(Configured([](BoardConfig& c) { c.ec.no_obf = true; }));
    ASSERT_TRUE(host.EcCommand(0xDC));
    EXPECT_EQ(host.EcRead(), -1);
    EXPECT_TRUE(host.board.Ec().InFlashMode());
    EXPECT_EQ(host.board.Ec().LostAnswers(), 1u);
  }
  {
    BoardHost host(Configured([](BoardConfig& c) { c.ec.ibf_stuck_from = 3; }));
    ASSERT_TRUE(host.EcCommand(0x42));
    ASSERT_TRUE(host.EcCommand(0x43));
    EXPECT_FALSE(host.EcCommand(0xDC));
    EXPECT_FALSE(host.board.Ec().InFlashMode()) << "the stuck byte is never taken";
    EXPECT_EQ(host.In(0x66) & 0x02, 0x02);
  }
}

TEST(BoardEc, NoEcLeavesItsPortsUndecoded) {
  BoardHost host(Configured([](BoardConfig& c) { c.no_ec = true; }));
  host.Out(0x66, 0xDC);
  EXPECT_EQ(host.In(0x66), 0xFF);
  EXPECT_EQ(host.In(0x62), 0xFF);
  EXPECT_FALSE(host.board.Ec().InFlashMode());
  EXPECT_TRUE(host.trace.empty());
}

TEST(BoardEc, PortAccessesAndStallsAdvanceTheClock) {
  BoardHost host(Configured([](BoardConfig& c) { c.bus_ns = 250; }), true);
  host.In(0x66);
  host.Out(0x66, 0x42);
  host.board.Stall(50);
  EXPECT_EQ(host.clock.now_ns, 2 * 250u + 50000u);
  EXPECT_EQ(host.counters.port_reads, 1u);
  EXPECT_EQ(host.counters.port_writes, 1u);
  EXPECT_EQ(host.counters.stall_us, 50u);
  EXPECT_THAT(host.ports, ElementsAre("in 66 00", "out 66 42"));
}

}  // namespace
}  // namespace simtest
