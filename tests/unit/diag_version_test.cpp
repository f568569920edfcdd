// The version query through the board model: which EC RAM and BRAM bytes are
// read, the exact lines shown, the colour left on the console and the exit
// status a script sees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/sim_fixture.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

const std::string kBanner = " XQR Flash Utility Version : 2.3.0";
// The board model's default super-I/O chip ID.
const std::string kChipLine = "\n\rChip ID : 0x5512\n\r";
constexpr unsigned kDefaultAttribute = 0x07;
constexpr unsigned kGreen = 0x0A;
constexpr unsigned kRed = 0x0C;

// The line of the BRAM version bytes ("HH,LL" as --bram-version takes them).
std::string FwLine(const std::string& bram) {
  char text[64];
  std::snprintf(text, sizeof(text), "\n\r\n\rFW_H=%x , FW_L=%x",
                static_cast<unsigned>(std::stoul(bram.substr(0, 2), nullptr, 16)),
                static_cast<unsigned>(std::stoul(bram.substr(3, 2), nullptr, 16)));
  return text;
}

// The EC RAM addresses the run read, in order, from its "ec 80 AA -> VV" lines.
std::vector<unsigned> EcRamAddressesRead(const SimResult& r) {
  std::vector<unsigned> addresses;
  for (const std::string& line : r.TraceLines("ec 80 "))
    addresses.push_back(static_cast<unsigned>(std::stoul(line.substr(6, 2), nullptr, 16)));
  return addresses;
}

std::vector<unsigned> Range(unsigned first, unsigned count) {
  std::vector<unsigned> addresses;
  for (unsigned i = 0; i < count; ++i) addresses.push_back((first + i) & 0xFF);
  return addresses;
}

// EC RAM holding address + 1 at every address, except where overridden.
std::vector<std::uint8_t> CountingRam() {
  std::vector<std::uint8_t> ram(256);
  for (unsigned i = 0; i < 256; ++i) ram[i] = static_cast<std::uint8_t>(i + 1);
  return ram;
}

// No form of the query enters flash mode or talks to the keyboard controller.
void ExpectNoFlashModeOrKbc(const SimResult& r) {
  EXPECT_THAT(r.TraceLines("ec dc"), testing::IsEmpty());
  EXPECT_THAT(r.TraceLines("kbc "), testing::IsEmpty());
  EXPECT_THAT(r.TraceLines("spi "), testing::IsEmpty());
  EXPECT_EQ(r.ec_flash_mode_entries, 0u);
}

struct EcRamCase {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::pair<unsigned, std::uint8_t>> ram;  // overrides of CountingRam
  std::string shown;                                   // everything after the chip line
  std::vector<unsigned> addresses;
};

TEST(VersionQuery, PlainFormShowsEcRamBytesInDecimalFromTheOffsetWrappingPastFF) {
  const std::string kShown = "\n\rSIO FW version : ";
  // clang-format off
  const std::vector<EcRamCase> cases = {
      {"defaults", {"/V"}, {{0x00, 1}, {0x01, 23}}, kShown + "01.23", Range(0, 2)},
      {"offset and length", {"/V", "2", "4"}, {{0x02, 5}, {0x03, 123}, {0x04, 0}, {0x05, 99}},
       "\n\roffset = 2 , lenth = 4" + kShown + "05.123.00.99", Range(2, 4)},
      {"wraps to 00", {"/V", "FE", "3"}, {{0xFE, 7}, {0xFF, 255}, {0x00, 10}},
       "\n\roffset = fe , lenth = 3" + kShown + "07.255.10", {0xFE, 0xFF, 0x00}},
      {"one byte, no dot", {"/V", "10", "1"}, {{0x10, 42}},
       "\n\roffset = 10 , lenth = 1" + kShown + "42", Range(0x10, 1)},
      {"zero length drops the offset", {"/V", "10", "0"}, {{0x00, 3}, {0x01, 4}},
       kShown + "03.04", Range(0, 2)},
      {"hex prefix offset", {"/V", "0x80", "2"}, {{0x80, 9}, {0x81, 8}},
       "\n\roffset = 80 , lenth = 2" + kShown + "09.08", Range(0x80, 2)},
  };
  // clang-format on
  for (const EcRamCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    std::vector<std::uint8_t> ram = CountingRam();
    for (const auto& [address, value] : c.ram) ram[address] = value;
    sim.WriteFile("ram.bin", ram);
    SimResult r = sim.Run({"--ec-ram", "ram.bin"}, c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, kBanner + kChipLine + c.shown);
    EXPECT_EQ(EcRamAddressesRead(r), c.addresses);
    ExpectNoFlashModeOrKbc(r);
  }
}

TEST(VersionQuery, FullLengthReadCoversAllOfEcRamOnceAndWraps) {
  SimFixture sim;
  sim.WriteFile("ram.bin", CountingRam());
  SimResult r = sim.Run({"--ec-ram", "ram.bin"}, {"/V", "FF", "256"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(EcRamAddressesRead(r), Range(0xFF, 256));
  const std::string head =
      kBanner + kChipLine + "\n\roffset = ff , lenth = 100" + "\n\rSIO FW version : ";
  ASSERT_EQ(r.console.substr(0, head.size()), head);
  // 256 fields joined by dots: EC RAM 0xFF (holding 0), then 0x00 to 0xFE.
  std::string expected;
  for (unsigned i = 0; i < 256; ++i) {
    char field[8];
    std::snprintf(field, sizeof(field), "%s%02u", i == 0 ? "" : ".", i);
    expected += field;
  }
  EXPECT_EQ(r.console.substr(head.size()), expected);
}

TEST(VersionQuery, VersionStringFormReadsEightBytesFromD8AndStopsAtAZero) {
  struct Case {
    const char* name;
    std::string ram_text;  // bytes at 0xD8..0xDF; empty: the model's default RAM
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"model default", "", "XQR02A.0"},
      {"full eight", "ABCDEFGH", "ABCDEFGH"},
      {"zero inside", std::string("ABC\0EFGH", 8), "ABC"},
      {"zero first", std::string("\0BCDEFGH", 8), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    std::vector<std::string> board;
    if (!c.ram_text.empty()) {
      std::vector<std::uint8_t> ram(256, 0x5A);
      for (size_t i = 0; i < 8; ++i) ram[0xD8 + i] = static_cast<std::uint8_t>(c.ram_text[i]);
      sim.WriteFile("ram.bin", ram);
      board = {"--ec-ram", "ram.bin"};
    }
    SimResult r = sim.Run(board, {"/VC"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, kBanner + kChipLine + "\n\rSIO FW version : " + c.shown + "\n\r\n\r");
    EXPECT_EQ(EcRamAddressesRead(r), Range(0xD8, 8));
    ExpectNoFlashModeOrKbc(r);
  }
}

struct BramCase {
  const char* name;
  std::string bram;     // --bram-version HH,LL
  const char* compare;  // the /VB argument, or null
  std::string current;  // the text formed from BRAM
  std::string message;  // "" when no comparison is made
  std::vector<unsigned> colours;
  int status;
};

TEST(VersionQuery, BramFormComparesTheTextsByteForByteWithColourAndStatus) {
  const std::string newer = " \n\r=> Input version is newer then current FW!!\n\r\n\r";
  const std::string not_newer = " \n\r=> Input version is NOT newer then current FW!!\n\r\n\r";
  const std::vector<BramCase> cases = {
      {"equal is not newer", "04,41", "04A", "04A", not_newer, {kRed}, 1},
      {"input sorts after", "04,39", "04A", "049", newer, {kGreen}, 0},
      {"input sorts before", "04,42", "04A", "04B", not_newer, {kRed}, 1},
      {"three-digit high byte", "64,41", "099Z", "100A", not_newer, {kRed}, 1},
      {"three-digit compared by characters", "64,41", "100B", "100A", newer, {kGreen}, 0},
      {"shorter current text sorts first", "04,41", "04AA", "04A", newer, {kGreen}, 0},
      {"longer current text sorts last", "04,41", "04", "04A", not_newer, {kRed}, 1},
      // A byte above 0x7F sorts after every digit when bytes compare unsigned.
      {"bytes compare unsigned", "04,41", "\xC3\xA9", "04A", newer, {kGreen}, 0},
      {"no version given", "04,41", nullptr, "04A", "", {}, 0},
  };
  for (const BramCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    std::vector<std::string> args = {"/VB"};
    if (c.compare != nullptr) args.push_back(c.compare);
    SimResult r = sim.Run({"--bram-version", c.bram}, args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, kBanner + kChipLine + FwLine(c.bram) + "\n\rSIO FW version :" + c.current +
                             " " + c.message);
    EXPECT_EQ(r.attribute_calls, c.colours);
    // BRAM version bytes read at 0x10 and 0x11, and configuration mode left.
    const std::vector<std::string> expected_bram = {"bram read 10 -> " + c.bram.substr(0, 2),
                                                    "bram read 11 -> " + c.bram.substr(3, 2)};
    EXPECT_EQ(r.TraceLines("bram read "), expected_bram);
    EXPECT_THAT(r.trace, testing::Contains("sio write 02 02"));
  }
}

TEST(VersionQuery, ColourOfTheOutcomeStaysOnTheScreenAfterTheMessage) {
  struct Case {
    const char* compare;
    unsigned colour;
  };
  for (const Case& c : {Case{"04A", kRed}, Case{"05A", kGreen}}) {
    SCOPED_TRACE(c.compare);
    SimResult r = simtest::RunSim({"--bram-version", "04,41"}, {"/VB", c.compare});
    int message_row = -1;
    for (size_t row = 0; row < r.screen.size(); ++row)
      if (r.screen[row].starts_with("=> Input version")) message_row = static_cast<int>(row);
    ASSERT_GE(message_row, 0) << r.ScreenText();
    // The version line before the outcome keeps the normal colour.
    EXPECT_EQ(r.attributes[message_row - 1][0], kDefaultAttribute);
    EXPECT_EQ(r.attributes[message_row][0], c.colour);
    EXPECT_EQ(r.attributes[message_row][10], c.colour);
  }
}

std::vector<std::uint8_t> ImageWithVersion(size_t size, std::uint8_t high, std::uint8_t low) {
  std::vector<std::uint8_t> image(size, 0xFF);
  if (size > 0xFFF9) {
    image[0xFFF8] = high;
    image[0xFFF9] = low;
  }
  return image;
}

TEST(VersionQuery, FileFormComparesBramWithTheImageVersionBytes) {
  struct Case {
    const char* name;
    std::string bram;
    std::uint8_t image_high, image_low;
    std::string current, image;
    unsigned colour;
    int status;
  };
  const std::vector<Case> cases = {
      // BRAM's high byte shows in decimal, the image's in hexadecimal.
      {"same text is red", "0a,41", 0x10, 0x41, "10A", "10A", kRed, 1},
      {"different digits are green", "0a,41", 0x0A, 0x41, "10A", "0aA", kGreen, 0},
      {"older image is green too", "04,42", 0x04, 0x41, "04B", "04A", kGreen, 0},
      {"newer image is green", "04,41", 0x04, 0x42, "04A", "04B", kGreen, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    sim.WriteFile("ec.bin", ImageWithVersion(0x10000, c.image_high, c.image_low));
    SimResult r = sim.Run({"--bram-version", c.bram}, {"/VBF", sim.Path("ec.bin")});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, kBanner + kChipLine + "\n\rfopen file " + sim.Path("ec.bin") + " " +
                             FwLine(c.bram) + "\n\rSIO FW version :" + c.current + " " +
                             "\n\rBIN FW version :" + c.image + " ");
    EXPECT_EQ(r.attribute_calls, std::vector<unsigned>{c.colour});
  }
}

TEST(VersionQuery, FileFormRefusesFilesItCannotTakeAVersionFrom) {
  struct Case {
    const char* name;
    const char* file;
    long size;  // of ec.bin; -1: no such file
    std::string console;
  };
  const std::string kShort =
      "\n\rfopen file ec.bin \n\rFile too short: no FW version at 0xFFF8!\n\r";
  const std::vector<Case> cases = {
      {"missing file", "ec.bin", -1,
       kBanner + kChipLine + "\n\rFile Open Fail!\n\rCannot open \"ec.bin\"."},
      {"empty file", "ec.bin", 0, kBanner + kChipLine + kShort},
      {"one byte short", "ec.bin", 0xFFF9, kBanner + kChipLine + kShort},
      // Refused unopened, before the chip is asked.
      {"a directory", ".", -1,
       kBanner + "\n\rFile Open Fail!\n\r\".\" is a folder or a device, not a file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    if (c.size >= 0) sim.WriteFile("ec.bin", std::vector<std::uint8_t>(c.size, 0x41));
    SimResult r = sim.Run({}, {"/VBF", c.file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, c.console);
    EXPECT_THAT(r.attribute_calls, testing::IsEmpty());
    // Refused before BRAM is touched.
    EXPECT_THAT(r.TraceLines("bram "), testing::IsEmpty());
  }
  // The shortest file that holds both bytes is accepted.
  SimFixture sim;
  sim.WriteFile("ec.bin", ImageWithVersion(0xFFFA, 0x02, 0x41));
  SimResult r = sim.Run({}, {"/VBF", "ec.bin"});
  EXPECT_EQ(r.status, 1);  // the model's default BRAM version is 02A as well
  EXPECT_EQ(r.attribute_calls, std::vector<unsigned>{kRed});
}

TEST(VersionQuery, EveryFormRefusesToRunWithoutTheMakersChip) {
  const std::vector<std::vector<std::string>> forms = {
      {"/V"}, {"/V", "2", "4"}, {"/VC"}, {"/VB", "04A"}, {"/VB"}, {"/VBF", "ec.bin"}};
  for (const auto& args : forms) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    SimFixture sim;
    sim.WriteFile("ec.bin", ImageWithVersion(0x10000, 0x02, 0x41));
    SimResult r = sim.Run({"--sio", "none"}, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, kBanner + "\n\rNot XQR Chip\n\r");
    EXPECT_THAT(r.TraceLines("ec 80"), testing::IsEmpty());
    EXPECT_THAT(r.TraceLines("bram "), testing::IsEmpty());
  }
}

TEST(VersionQuery, ChipOnTheSecondPortIsFoundAgainAndItsIdShown) {
  SimResult r = simtest::RunSim({"--sio", "4e", "--chip-id", "5570"}, {"/VB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, kBanner + "\n\rChip ID : 0x5570\n\r\n\r\n\rFW_H=2 , FW_L=41" +
                           "\n\rSIO FW version :02A ");
  EXPECT_FALSE(r.sio_in_config_mode);
}

}  // namespace
