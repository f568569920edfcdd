// The follow-mode tunnel: the bytes every SPI step puts on 0x66, what the
// flash sees, and the three composite status steps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/flash_traits.h"
#include "flash/operation_frame.h"
#include "unit/channels_test_support.h"

namespace {

using channels::AttachedBoard;
using testing::ElementsAre;
using testing::ElementsAreArray;

// A board whose EC is already in flash mode, with the port record cleared.
class TunnelBench : public AttachedBoard {
 public:
  explicit TunnelBench(std::vector<uint8_t> answers = {}) {
    host.EcCommand(0xDC);
    host.EcRead();
    host.spi.answers = std::move(answers);
    ForgetPorts();
  }
  // The bytes written to 0x66, as hexadecimal text.
  std::vector<std::string> Writes66() const {
    std::vector<std::string> out;
    for (const std::string& access : host.ports) {
      if (access.rfind("out 66 ", 0) == 0) out.push_back(access.substr(7));
      EXPECT_NE(access.rfind("out 62 ", 0), 0u) << "nothing is written to 0x62 in the tunnel";
    }
    return out;
  }
};

TEST(ChannelsTunnel, SingleStepsPutTheirBytesOn66) {
  struct Step {
    void (*run)();
    std::vector<std::string> writes;
    std::vector<std::string> spi;
  };
  const std::vector<Step> steps = {
      {[] { vEnterFollowMode(); }, {"01"}, {"S"}},
      {[] { vSendSpiCommand(0x9F); }, {"02", "9f"}, {"W 9f"}},
      {[] { vSendSpiData(0x05); }, {"03", "05"}, {"W 05"}},
      {[] { EXPECT_EQ(ucReadSpiData(), 0xC8); }, {"04"}, {"R"}},
      {[] { vExitFollowMode(); }, {"05"}, {"D"}},
  };
  TunnelBench bench({0xC8});
  for (const Step& step : steps) {
    bench.ForgetPorts();
    step.run();
    EXPECT_EQ(bench.Writes66(), step.writes);
    EXPECT_EQ(bench.host.spi.events, step.spi);
    EXPECT_EQ(bench.HandshakeViolation(), "");
  }
}

TEST(ChannelsTunnel, WaitUntilReadyPollsOneStatusTransaction) {
  TunnelBench bench({0x03, 0x03, 0x02});
  vWaitSpiReady();
  EXPECT_THAT(bench.Writes66(), ElementsAre("01", "02", "05", "04", "04", "04", "05"));
  EXPECT_THAT(bench.host.spi.events, ElementsAre("S", "W 05", "R", "R", "R", "D"));
  EXPECT_EQ(bench.HandshakeViolation(), "");
  EXPECT_FALSE(bench.host.board.Ec().SpiSelected());
}

struct EnableCase {
  uint8_t manufacturer;
  std::vector<uint8_t> answers;  // the ready poll's status, then the latch poll's
  std::vector<std::string> writes;
  std::vector<std::string> spi;
};

TEST(ChannelsTunnel, WriteEnableComparesOnlyLatchAndBusy) {
  const std::vector<std::string> ready_writes = {"01", "02", "05", "04", "05"};
  auto with_ready = [&](std::vector<std::string> rest) {
    std::vector<std::string> all = ready_writes;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  const std::vector<EnableCase> cases = {
      {0xEF,
       {0x00, 0x03, 0x00, 0x02},
       with_ready({"01", "02", "06", "01", "02", "05", "04", "04", "04", "05"}),
       {"S", "W 05", "R", "D", "S", "W 06", "D", "S", "W 05", "R", "R", "R", "D"}},
      {0xEF,
       {0x00, 0x1E},
       with_ready({"01", "02", "06", "01", "02", "05", "04", "05"}),
       {"S", "W 05", "R", "D", "S", "W 06", "D", "S", "W 05", "R", "D"}},
      {0xBF,
       {0x00, 0x06},
       with_ready({"01", "02", "06", "01", "02", "50", "01", "02", "05", "04", "05"}),
       {"S", "W 05", "R", "D", "S", "W 06", "D", "S", "W 50", "D", "S", "W 05", "R", "D"}},
  };
  for (const EnableCase& c : cases) {
    TunnelBench bench(c.answers);
    FlashState.SPIDeviceID[0] = c.manufacturer;
    vPickFlashTraits();
    vSpiWriteEnable();
    EXPECT_EQ(bench.Writes66(), c.writes) << int{c.manufacturer};
    EXPECT_EQ(bench.host.spi.events, c.spi) << int{c.manufacturer};
    EXPECT_EQ(bench.HandshakeViolation(), "");
    EXPECT_EQ(bench.host.spi.next, c.answers.size());
  }
}

TEST(ChannelsTunnel, WriteDisableReturnsOnceTheLatchReadsClear) {
  TunnelBench bench({0x00, 0x02, 0x03, 0x01});
  vSpiWriteDisable();
  EXPECT_THAT(bench.Writes66(), ElementsAre("01", "02", "05", "04", "05", "01", "02", "04", "01",
                                            "02", "05", "04", "04", "04", "05"));
  EXPECT_EQ(bench.host.spi.next, 4u);
  EXPECT_EQ(bench.Writes66().back(), "05");
}

}  // namespace
