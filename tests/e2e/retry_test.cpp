// A block that fails its erase check or verify is done again whole while the
// EC stays in flash mode: a fault that strikes once costs one retry of its
// block and nothing else, a fault that stays ends the update after the third
// attempt. Judged by the flash file and the board's transaction trace, against
// a healthy run of the same update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::Count;
using simtest::SimFixture;
using simtest::SimResult;
using simtest::TestImage;

constexpr uint32_t kBlock = 0x10000;

uint32_t AddressOf(const std::string& erase_line) {
  return static_cast<uint32_t>(
      std::stoul(erase_line.substr(erase_line.find('@') + 1), nullptr, 16));
}

// The healthy run's erases with those of `block` repeated `times` times over,
// in the order the update sends them.
std::vector<std::string> WithBlockRepeated(const std::vector<std::string>& healthy, uint32_t block,
                                           unsigned times) {
  std::vector<std::string> expected;
  std::vector<std::string> of_block;
  for (const std::string& line : healthy) {
    if (AddressOf(line) / kBlock == block) of_block.push_back(line);
  }
  bool inserted = false;
  for (const std::string& line : healthy) {
    if (AddressOf(line) / kBlock != block) {
      expected.push_back(line);
    } else if (!inserted) {
      for (unsigned i = 0; i < times; ++i)
        expected.insert(expected.end(), of_block.begin(), of_block.end());
      inserted = true;
    }
  }
  return expected;
}

// The console's lines that contain "retry".
std::vector<std::string> RetryLines(const std::string& console) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : console + "\n") {
    if (c != '\n' && c != '\r') {
      line += c;
      continue;
    }
    if (line.find("retry") != std::string::npos) lines.push_back(line);
    line.clear();
  }
  return lines;
}

struct Method {
  const char* name;
  const char* chip;
  size_t image_size;
  const char* program_trace;  // a line of the method's programming, as the trace begins it
};

const Method kMethods[] = {
    {"256-byte pages", "w25q80", 2 * kBlock, "spi 02 @000000 w256"},
    {"32-byte pieces", "mx25l512", kBlock, "spi 02 @000000 w32"},
    {"auto increment by byte", "sst25vf512a", kBlock, "spi af @000000"},
    {"auto increment by word", "sst25vf080b", 2 * kBlock, "spi ad @000000"},
};

TEST(Retry, AFaultThatStrikesOnceCostsOneRetryOfItsBlockOnEveryProgrammingMethod) {
  const char* const kinds[] = {"bit-stuck-once", "erase-leaves-once"};
  for (const Method& method : kMethods) {
    const std::vector<uint8_t> image = TestImage(method.image_size, 5);
    SimFixture clean;
    clean.WriteFile("ec.bin", image);
    const std::string size_kb = std::to_string(method.image_size / 1024);
    const SimResult healthy = clean.Run({"--chip", method.chip}, {"ec.bin", size_kb});
    ASSERT_EQ(healthy.status, 0) << method.name;
    ASSERT_NE(std::find_if(healthy.trace.begin(), healthy.trace.end(),
                           [&](const std::string& line) {
                             return line.rfind(method.program_trace, 0) == 0;
                           }),
              healthy.trace.end())
        << method.name << ": the chip is not programmed by this method";

    for (const char* kind : kinds) {
      SCOPED_TRACE(std::string(method.name) + ", " + kind);
      SimFixture sim;
      sim.WriteFile("ec.bin", image);
      const SimResult r = sim.Run({"--chip", method.chip, "--fault", std::string(kind) + ":234"},
                                  {"ec.bin", size_kb});
      EXPECT_EQ(r.status, 0);
      ASSERT_GE(r.flash.size(), image.size());
      EXPECT_TRUE(std::equal(image.begin(), image.end(), r.flash.begin()));
      const std::vector<std::string> retries = RetryLines(r.console);
      ASSERT_EQ(retries.size(), 1u) << r.console;
      EXPECT_NE(retries[0].find("Block 0"), std::string::npos) << retries[0];
      EXPECT_NE(retries[0].find("attempt 2"), std::string::npos) << retries[0];
      EXPECT_EQ(Count(r.console, "Verify Fail."), 1u);
      EXPECT_EQ(r.EraseLines(), WithBlockRepeated(healthy.EraseLines(), 0, 2));
      // Still one stay in flash mode, left the usual way, keyboard back last.
      EXPECT_EQ(r.ec_flash_mode_entries, 1u);
      EXPECT_EQ(r.TraceLines("ec f"), std::vector<std::string>{"ec fe"});
      EXPECT_EQ(r.trace.back(), "kbc ae");
      EXPECT_EQ(r.console.find("What to do now:"), std::string::npos);
    }
  }
}

TEST(Retry, AFaultThatStaysIsTriedThreeTimesThenTheUpdateEndsAndSaysWhatToDo) {
  struct Case {
    const char* chip;
    const char* fault;
  };
  const Case cases[] = {{"w25q80", "bit-stuck:10234"}, {"sst25vf080b", "erase-leaves:10234"}};
  const std::vector<uint8_t> image = TestImage(4 * kBlock, 6);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + " " + c.fault);
    SimFixture clean;
    clean.WriteFile("ec.bin", image);
    const SimResult healthy = clean.Run({"--chip", c.chip}, {"ec.bin", "256"});
    ASSERT_EQ(healthy.status, 0);

    SimFixture sim;
    sim.WriteFile("ec.bin", image);
    const SimResult r = sim.Run({"--chip", c.chip, "--fault", c.fault}, {"ec.bin", "256"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Count(r.console, "Verify Fail."), 3u);
    const std::vector<std::string> retries = RetryLines(r.console);
    ASSERT_EQ(retries.size(), 2u) << r.console;
    EXPECT_NE(retries[0].find("Block 1"), std::string::npos) << retries[0];
    EXPECT_NE(retries[0].find("attempt 2"), std::string::npos) << retries[0];
    EXPECT_NE(retries[1].find("attempt 3"), std::string::npos) << retries[1];
    // Block 0 once, block 1 three times, blocks 2 and 3 never.
    std::vector<std::string> expected;
    for (const std::string& line : WithBlockRepeated(healthy.EraseLines(), 1, 3)) {
      if (AddressOf(line) < 2 * kBlock) expected.push_back(line);
    }
    EXPECT_EQ(r.EraseLines(), expected);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBlock, r.flash.begin()));
    // Not reset onto the incomplete flash.
    EXPECT_EQ(r.TraceLines("ec f"), std::vector<std::string>{"ec fc"});
    EXPECT_EQ(r.ec_resets, 0u);
    EXPECT_EQ(r.trace.back(), "kbc ae");
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_TRUE(r.keyboard_enabled);
    const size_t advice = r.console.find("\n\rWhat to do now:\n\r");
    ASSERT_NE(advice, std::string::npos);
    EXPECT_GT(advice, r.console.rfind("Verify Fail."));
    EXPECT_NE(
        r.console.find("Block 0 was written and verified.\n\rBlock 1 (flash address 0x010000) "
                       "is incomplete.",
                       advice),
        std::string::npos);
    EXPECT_NE(r.console.find("incomplete image", advice), std::string::npos);
  }
}

}  // namespace
