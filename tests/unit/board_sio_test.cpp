// The super-I/O configuration ports and the BRAM bank of the board model.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/board_host.h"

namespace simtest {
namespace {

using ::testing::ElementsAre;

BoardConfig SioAt(uint16_t port, uint16_t chip_id = 0x5512) {
  BoardConfig config = DefaultBoardConfig();
  config.sio.index_port = port;
  config.sio.chip_id = chip_id;
  return config;
}

uint16_t ReadChipId(BoardHost& host, uint16_t port) {
  host.Out(port, 0x20);
  uint8_t high = host.In(port + 1);
  host.Out(port, 0x21);
  uint8_t low = host.In(port + 1);
  return static_cast<uint16_t>(high << 8 | low);
}

TEST(BoardSio, OnlyTheRightKeyAtTheChipsPortOpensConfiguration) {
  struct Case {
    const char* name;
    uint16_t chip_port;  // 0: no chip
    uint16_t key_port;
    std::vector<uint8_t> key;
    uint16_t id;  // what registers 0x20/0x21 then read
  };
  const Case cases[] = {
      {"2e key at 2e", 0x2E, 0x2E, {0x87, 0x01, 0x55, 0x55}, 0x5512},
      {"4e key at 4e", 0x4E, 0x4E, {0x87, 0x01, 0x55, 0xAA}, 0x5512},
      {"4e wants aa last", 0x4E, 0x4E, {0x87, 0x01, 0x55, 0x55}, 0xFFFF},
      {"2e wants 55 last", 0x2E, 0x2E, {0x87, 0x01, 0x55, 0xAA}, 0xFFFF},
      {"key at the other port", 0x4E, 0x2E, {0x87, 0x01, 0x55, 0x55}, 0xFFFF},
      {"wrong byte restarts", 0x2E, 0x2E, {0x87, 0x01, 0x87, 0x01, 0x55, 0x55}, 0x5512},
      {"broken key", 0x2E, 0x2E, {0x87, 0x55, 0x55}, 0xFFFF},
      {"no chip", 0, 0x2E, {0x87, 0x01, 0x55, 0x55}, 0xFFFF},
  };
  for (const Case& c : cases) {
    BoardHost host(SioAt(c.chip_port));
    EXPECT_EQ(ReadChipId(host, c.key_port), 0xFFFF) << c.name << ": before the key";
    for (uint8_t byte : c.key) host.Out(c.key_port, byte);
    EXPECT_EQ(ReadChipId(host, c.key_port), c.id) << c.name;
  }
}

TEST(BoardSio, ConfigurationTrafficIsTraced) {
  BoardHost host(SioAt(0x4E, 0x5570));
  for (uint8_t byte : {0x87, 0x01, 0x55, 0x55}) host.Out(0x2E, byte);
  host.Out(0x2E, 0x20);
  EXPECT_EQ(host.In(0x2F), 0xFF);
  for (uint8_t byte : {0x87, 0x01, 0x55, 0xAA}) host.Out(0x4E, byte);
  EXPECT_EQ(ReadChipId(host, 0x4E), 0x5570);
  EXPECT_THAT(host.trace, ElementsAre("sio key 2e", "sio read 20 -> ff", "sio key 4e",
                                      "sio read 20 -> 55", "sio read 21 -> 70"));
}

TEST(BoardSio, BramVersionReadsThroughLogicalDevice10AndLeavesConfiguration) {
  BoardConfig config = SioAt(0x2E);
  config.sio.bram_high = 0x04;
  config.sio.bram_low = 0x41;
  BoardHost host(config, true);
  for (uint8_t byte : {0x87, 0x01, 0x55, 0x55}) host.Out(0x2E, byte);
  host.trace.clear();
  host.Out(0x2E, 0x07);
  host.Out(0x2F, 0x10);
  host.Out(0x2E, 0x60);
  uint16_t base = static_cast<uint16_t>(host.In(0x2F) << 8);
  host.Out(0x2E, 0x61);
  base = static_cast<uint16_t>(base | host.In(0x2F));
  EXPECT_EQ(base, 0x0070);
  host.Out(base, 0x10);
  uint8_t high = host.In(base + 1);
  host.Out(base, 0x11);
  uint8_t low = host.In(base + 1);
  host.Out(0x2E, 0x02);
  host.Out(0x2F, 0x02);
  EXPECT_EQ(high, 0x04);
  EXPECT_EQ(low, 0x41);
  EXPECT_FALSE(host.board.Sio().InConfigMode());
  host.Out(0x2E, 0x20);
  EXPECT_EQ(host.In(0x2F), 0xFF) << "wait-for-key again";
  EXPECT_THAT(host.trace,
              ElementsAre("sio write 07 10", "sio read 60 -> 00", "sio read 61 -> 70",
                          "bram read 10 -> 04", "bram read 11 -> 41", "sio write 02 02"));
}

TEST(BoardSio, BramBaseIsConfigurableAndAbsentWithoutAChip) {
  {
    BoardConfig config = SioAt(0x2E);
    config.sio.bram_base = 0x0290;
    BoardHost host(config);
    host.Out(0x290, 0x11);
    EXPECT_EQ(host.In(0x291), 0x41);
    EXPECT_EQ(host.In(0x71), 0xFF) << "nothing at the default base";
  }
  {
    BoardHost host(SioAt(0));
    host.Out(0x70, 0x11);
    EXPECT_EQ(host.In(0x71), 0xFF);
  }
}

TEST(BoardSio, ForeignFamilyFaultChangesOnlyTheFamilyCode) {
  BoardConfig config = SioAt(0x2E, 0x5512);
  config.sio.foreign_family = true;
  config.sio.foreign_code = 0x86;
  BoardHost host(config);
  for (uint8_t byte : {0x87, 0x01, 0x55, 0x55}) host.Out(0x2E, byte);
  EXPECT_EQ(ReadChipId(host, 0x2E), 0x8612);
}

TEST(BoardSio, UndecodedPortsReadFf) {
  BoardHost host;
  for (uint16_t port : {uint16_t{0x80}, uint16_t{0x2F}, uint16_t{0x4F}, uint16_t{0xCF8}}) {
    EXPECT_EQ(host.In(port), 0xFF) << port;
  }
}

}  // namespace
}  // namespace simtest
