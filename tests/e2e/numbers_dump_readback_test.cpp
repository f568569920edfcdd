// Values that are no numbers, dump sizes the flash cannot give, and the
// boot-block protection judged by what the flash really holds afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/chip_facts.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::RandomBytes;
using simtest::SimFixture;
using simtest::SimResult;

const std::string kWrongParameter = "\n\nWrong Parameter! Please try again!\n\n";
std::string Stopped(const std::string& where) {
  return kWrongParameter + "Stopped at argument " + where + "\n";
}
const std::string kSizeLost = "\n\rFile Size Paramter Lost, Please try again!\n\n";
const std::vector<std::uint8_t> kOldDump = {'o', 'l', 'd', '\n'};

struct Refusal {
  std::vector<std::string> args;
  std::string console;  // the whole console, or its end after the usage
};

// Refused before any port access of the operation: the flash, an existing
// XQRFW.bin and the controllers as they were.
TEST(NumbersAndDumpSizes, RefusedBeforeTheEcOrTheFlashIsTouched) {
  auto range = [](const std::string& k) {
    return "\n\rDump size " + k + "K out of range: 32K to 16384K, in whole 32K chunks!\n\n";
  };
  const std::vector<Refusal> cases = {
      {{"ec.bin", "abc"}, kSizeLost},
      {{"ec.bin", ""}, kSizeLost},
      {{"ec.bin", "-"}, kSizeLost},
      {{"ec.bin", "64", "/O", "zz"}, Stopped("4: \"zz\" (not a hexadecimal number)")},
      {{"ec.bin", "64", "/O", ""}, Stopped("4: \"\" (not a hexadecimal number)")},
      {{"/O", "x1000", "ec.bin", "64"}, Stopped("2: \"x1000\" (not a hexadecimal number)")},
      {{"/S", "abc"}, Stopped("2: \"abc\" (not a decimal number)")},
      {{"/S", ""}, Stopped("2: \"\" (not a decimal number)")},
      {{"/S", "-32"}, range("-32")},
      {{"/S", "16"}, range("16")},
      {{"/S", "31"}, range("31")},
      {{"/S", "0"}, range("0")},
      {{"/S", "/k"}, range("0")},  // '/' keeps reading as 0
      {{"/S", "16385"}, range("16385")},
      {{"/S", "99999999999"}, range("2147483647")},
  };
  for (const Refusal& c : cases) {
    const std::string line = testing::PrintToString(c.args);
    SimFixture sim;
    const std::vector<std::uint8_t> flash = RandomBytes(0x100000, 3);
    sim.WriteFile("tolvi-sim-flash.bin", flash);
    sim.WriteFile("XQRFW.bin", kOldDump);
    sim.WriteFile("ec.bin", RandomBytes(0x10000, 4));
    const SimResult r = sim.Run({"--chip", "w25q80"}, c.args);
    EXPECT_EQ(r.status, 1) << line;
    if (c.console.starts_with(kWrongParameter)) {
      EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with(c.console)) << line << r.console;
    } else {
      EXPECT_EQ(r.console, c.console) << line;
    }
    EXPECT_THAT(r.TraceLines("ec "), testing::IsEmpty()) << line;
    EXPECT_THAT(r.TraceLines("kbc "), testing::IsEmpty()) << line;
    EXPECT_THAT(r.TraceLines("spi "), testing::IsEmpty()) << line;
    EXPECT_TRUE(r.flash == flash) << line;
    EXPECT_EQ(sim.ReadFile("XQRFW.bin"), kOldDump) << line;
  }
}

// A value entry that begins with '/' or reads a digit keeps its meaning: the
// image lands where the offset says.
TEST(NumbersAndDumpSizes, ValuesWithADigitKeepTheirMeaning) {
  struct Case {
    std::vector<std::string> args;
    size_t at;
  };
  const Case cases[] = {
      {{"ec.bin", "4", "/O", "/k"}, 0},
      {{"ec.bin", "4", "/O", "0x"}, 0},  // the lone 0 before the 'x'
      {{"ec.bin", "4", "/O", "2000zz"}, 0x2000},
      {{"ec.bin", "4KB", "/O", " 3000"}, 0x3000},
  };
  for (const Case& c : cases) {
    const std::string line = testing::PrintToString(c.args);
    SimFixture sim;
    const std::vector<std::uint8_t> flash = RandomBytes(0x100000, 5);
    const std::vector<std::uint8_t> image = simtest::TestImage(0x1000, 6);
    sim.WriteFile("tolvi-sim-flash.bin", flash);
    sim.WriteFile("ec.bin", image);
    const SimResult r = sim.Run({"--chip", "w25q80"}, c.args);
    EXPECT_EQ(r.status, 0) << line << r.console;
    std::vector<std::uint8_t> want = flash;
    std::copy(image.begin(), image.end(), want.begin() + static_cast<long>(c.at));
    EXPECT_TRUE(r.flash == want) << line;
  }
}

// After identification: more than the chip holds is refused before the read,
// the file untouched, flash mode left as at the dump's end.
TEST(NumbersAndDumpSizes, ADumpBeyondTheIdentifiedCapacityIsRefusedBeforeTheRead) {
  struct Case {
    const char* chip;
    std::string size;
    std::string line;  // empty: dumped
    size_t bytes;
  };
  const Case cases[] = {
      {"mx25l512", "96", "\n\rDump size 96K is beyond the 64K flash!\n\n", 0},
      {"w25q80", "16384", "\n\rDump size 16384K is beyond the 1024K flash!\n\n", 0},
      {"w25q80", "1055", "", 0x100000},  // rounds down to the whole chip
      {"mx25l512", "64", "", 0x10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + " " + c.size);
    SimFixture sim;
    const std::vector<std::uint8_t> flash =
        RandomBytes(simtest::FindChipFacts(c.chip)->size_kb * 1024, 7);
    sim.WriteFile("tolvi-sim-flash.bin", flash);
    sim.WriteFile("XQRFW.bin", kOldDump);
    const SimResult r = sim.Run({"--chip", c.chip}, {"/S", c.size});
    EXPECT_EQ(r.TraceLines("ec "), (std::vector<std::string>{"ec dc -> 33", "ec fe"}));
    EXPECT_EQ(r.TraceLines("kbc "), std::vector<std::string>{"kbc ae"});
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_TRUE(r.flash == flash);
    if (c.line.empty()) {
      EXPECT_EQ(r.status, 0);
      EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with("-- Save OK!")) << r.console;
      EXPECT_TRUE(sim.ReadFile("XQRFW.bin") ==
                  std::vector<std::uint8_t>(flash.begin(), flash.begin() + c.bytes));
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(simtest::BeforeAdvice(r.console).ends_with("\nvExitFollowMode" + c.line))
          << r.console;
      EXPECT_THAT(r.TraceLines("spi 0b"), testing::IsEmpty());
      EXPECT_EQ(sim.ReadFile("XQRFW.bin"), kOldDump);
    }
  }
}

// A status register that is locked (SRP set, WP# held low) takes no write:
// the bits read back and what they protect are named, and the run fails; the
// contents are as they were, so the board may be powered off. (The same part
// unlocked takes the bits: its row in chip_reference_test.)
TEST(ProtectionReadBack, BitsThatDidNotTakeFailTheRun) {
  SimFixture sim;
  sim.WriteFile("tolvi-sim-flash.bin.status", std::string("w25x80 80 00\n"));
  const SimResult r = sim.Run({"--chip", "w25x80", "--fault", "wp-low"}, {"/PB"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.flash_status & 0x24, 0);
  EXPECT_TRUE(r.console.ends_with(
      "\nRead Status Register = 0x82\n"
      "Protect BBK Area Fail:\nthe status bits read back (0x82) protect nothing,\n"
      "not the boot block at 0x000000-0x000FFF.\n"
      "\n\rWhat to do now:\n\r"
      "The flash contents were not changed, but its status register was written to.\n\r"
      "It is safe to power off.\n\r"))
      << r.console;
  EXPECT_THAT(r.TraceLines("ec "), testing::ElementsAre("ec dc -> 33", "ec fc"));
  EXPECT_FALSE(r.ec_in_flash_mode);
}

}  // namespace
