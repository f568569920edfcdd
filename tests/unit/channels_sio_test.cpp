// Super-I/O detection at both configuration ports and the BRAM read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "unit/channels_test_support.h"

namespace {

using channels::AttachedBoard;
using testing::ElementsAre;

std::string Out(unsigned port, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "out %02x %02x", port, value);
  return text;
}
std::string In(unsigned port, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "in %02x %02x", port, value);
  return text;
}

// The accesses of one port's key and family-code comparisons: register 0x20
// selected and read afresh for each code until one matches.
void AppendProbe(std::vector<std::string>* out, unsigned port, uint8_t last_key, int answer) {
  for (unsigned key : {0x87u, 0x01u, 0x55u, static_cast<unsigned>(last_key)}) {
    out->push_back(Out(port, key));
  }
  uint8_t high = answer < 0 ? 0xFF : static_cast<uint8_t>(answer >> 8);
  for (uint8_t code : ChipFamilyCodes) {
    out->push_back(Out(port, 0x20));
    out->push_back(In(port + 1, high));
    if (code == high && answer >= 0) return;
  }
}

struct DetectCase {
  uint16_t index_port;  // 0: no chip
  uint16_t chip_id;
  uint16_t result;
  uint8_t sio_port;
};

TEST(ChannelsSio, DetectionTriesThe2eKeyThenThe4eKey) {
  const uint16_t family = static_cast<uint16_t>(ChipFamilyCodes[3] << 8);
  const uint16_t first = static_cast<uint16_t>(ChipFamilyCodes[0] << 8 | 0x28);
  const std::vector<DetectCase> cases = {
      {0x2E, static_cast<uint16_t>(family | 0x12), static_cast<uint16_t>(family | 0x12), 0x2E},
      {0x2E, first, first, 0x2E},
      {0x2E, family, family, 0x2E},  // a zero low byte is returned as it is
      {0x4E, static_cast<uint16_t>(family | 0x70), static_cast<uint16_t>(family | 0x70), 0x4E},
      {0x00, 0x5512, 0xFFFF, 0x4E},
  };
  for (const DetectCase& c : cases) {
    BoardConfig config = DefaultBoardConfig();
    config.sio.index_port = c.index_port;
    config.sio.chip_id = c.chip_id;
    AttachedBoard bench(config);
    std::string line = std::to_string(c.index_port) + "/" + std::to_string(c.chip_id);
    EXPECT_EQ(usDetectSioChip(), c.result) << line;
    EXPECT_EQ(FlashState.SioPort, c.sio_port) << line;

    std::vector<std::string> expected;
    bool at_2e = c.index_port == 0x2E;
    AppendProbe(&expected, 0x2E, 0x55, at_2e ? c.chip_id : -1);
    if (!at_2e) AppendProbe(&expected, 0x4E, 0xAA, c.index_port == 0x4E ? c.chip_id : -1);
    if (c.result != 0xFFFF) {
      expected.push_back(Out(c.sio_port, 0x20));
      expected.push_back(In(c.sio_port + 1, c.chip_id >> 8));
      expected.push_back(Out(c.sio_port, 0x21));
      expected.push_back(In(c.sio_port + 1, c.chip_id & 0xFF));
    }
    EXPECT_EQ(bench.host.ports, expected) << line;
    EXPECT_EQ(bench.host.board.Sio().InConfigMode(), c.result != 0xFFFF) << line;
  }
}

TEST(ChannelsSio, ForeignFamilyCodeIsNoChip) {
  BoardConfig config = DefaultBoardConfig();
  config.sio.foreign_family = true;
  config.sio.foreign_code = 0x87;
  AttachedBoard bench(config);
  EXPECT_EQ(usDetectSioChip(), 0xFFFF);
  EXPECT_EQ(FlashState.SioPort, 0x4E);
}

TEST(ChannelsSio, BramVersionIsReadBehindLogicalDevice10AndConfigModeLeft) {
  for (uint16_t index_port : {uint16_t{0x2E}, uint16_t{0x4E}}) {
    BoardConfig config = DefaultBoardConfig();
    config.sio.index_port = index_port;
    config.sio.bram_base = 0x0A70;
    config.sio.bram_high = 0x03;
    config.sio.bram_low = 0x42;
    AttachedBoard bench(config);
    ASSERT_NE(usDetectSioChip(), 0xFFFF);
    bench.ForgetPorts();
    uint8_t high = 0, low = 0;
    vReadBramVersion(&high, &low);
    EXPECT_EQ(high, 0x03);
    EXPECT_EQ(low, 0x42);
    unsigned p = index_port;
    EXPECT_EQ(bench.host.ports, (std::vector<std::string>{
                                    Out(p, 0x07), Out(p + 1, 0x10), Out(p, 0x60), In(p + 1, 0x0A),
                                    Out(p, 0x61), In(p + 1, 0x70), "out a70 10", "in a71 03",
                                    "out a70 11", "in a71 42", Out(p, 0x02), Out(p + 1, 0x02)}));
    EXPECT_FALSE(bench.host.board.Sio().InConfigMode());
  }
}

}  // namespace
