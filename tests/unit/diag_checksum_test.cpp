// The image checksum (/c) through the board model: the printed sum against
// one computed here from the file's bytes, the file-name rule and the exit
// status, and that the flash is never reached.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::RandomBytes;
using simtest::SimFixture;
using simtest::SimResult;

// The low 16 bits of the plain sum of all bytes, as four upper-case digits.
std::string ReferenceChecksum(const std::vector<std::uint8_t>& bytes) {
  unsigned long long sum = 0;
  for (std::uint8_t byte : bytes) sum += byte;
  char text[8];
  std::snprintf(text, sizeof(text), "%04llX", sum & 0xFFFF);
  return text;
}

void ExpectHardwareUntouched(const SimResult& r) {
  EXPECT_THAT(r.TraceLines("ec "), testing::IsEmpty());
  EXPECT_THAT(r.TraceLines("kbc "), testing::IsEmpty());
  EXPECT_THAT(r.TraceLines("spi "), testing::IsEmpty());
}

TEST(ImageChecksum, PrintsTheLow16BitsOfTheByteSum) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* known;  // a value worked out by hand, or null
  };
  const std::vector<Case> cases = {
      {"abc", {'a', 'b', 'c'}, "0126"},
      {"empty", {}, "0000"},
      {"256 x FF", std::vector<std::uint8_t>(256, 0xFF), "FF00"},
      {"257 x FF", std::vector<std::uint8_t>(257, 0xFF), "FFFF"},
      {"258 x FF", std::vector<std::uint8_t>(258, 0xFF), "00FE"},
      {"one zero byte", {0x00}, "0000"},
      {"single 80 (no sign extension)", {0x80}, "0080"},
      {"64 KB of random bytes", RandomBytes(0x10000, 1), nullptr},
      {"odd-sized random image", RandomBytes(0x1FFFF, 7), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = ReferenceChecksum(c.bytes);
    if (c.known != nullptr) {
      ASSERT_EQ(expected, c.known);
    }
    SimFixture sim;
    sim.WriteFile("ec.bin", c.bytes);
    SimResult r = sim.Run({}, {"/c", "ec.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, "\n\rEC file ec.bin checksum : " + expected);
    ExpectHardwareUntouched(r);
  }
}

TEST(ImageChecksum, TakesItsFileNameFromEntryTwoAndFailsWithStatusOne) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string console;
    int status;
  };
  const std::string sum = ReferenceChecksum({'a', 'b', 'c'});
  const std::vector<Case> cases = {
      {"name as given", {"/c", "./ec.bin"}, "\n\rEC file ./ec.bin checksum : " + sum, 0},
      {"later entries ignored",
       {"/c", "ec.bin", "/k", "x"},
       "\n\rEC file ec.bin checksum : " + sum,
       0},
      {"missing file", {"/c", "none.bin"}, "\n\rFile Open Fail!\n\rCannot open \"none.bin\".", 1},
      {"no entry 2", {"/c"}, "\n\rFile Open Fail!\n\rNo file name was given.", 1},
      // Entry 2 is "/c" itself here, which names no file.
      {"/c not first", {"/k", "/c", "ec.bin"}, "\n\rFile Open Fail!\n\rCannot open \"/c\".", 1},
      // No file to sum: refused unopened.
      {"a directory",
       {"/c", "."},
       "\n\rFile Open Fail!\n\r\".\" is a folder or a device, not a file.",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    sim.WriteFile("ec.bin", std::string("abc"));
    SimResult r = sim.Run({}, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, c.console);
    ExpectHardwareUntouched(r);
  }
}

TEST(ImageChecksum, LeavesTheFlashAsItWas) {
  SimFixture sim;
  const std::vector<std::uint8_t> contents = RandomBytes(1 << 20, 3);
  sim.WriteFile("tolvi-sim-flash.bin", contents);
  sim.WriteFile("ec.bin", RandomBytes(1000, 4));
  SimResult r = sim.Run({}, {"/c", "ec.bin"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.flash, contents);
  EXPECT_EQ(sim.ReadFile("tolvi-sim-flash.bin"), contents);
}

}  // namespace
