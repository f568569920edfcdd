// Whole updates through the harness: every modelled chip, the area paths, the
// start offset, the half-block chips, and failures that must leave the board
// usable.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "tests/support/chip_facts.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"
#include "tolvi.h"

namespace {

using simtest::ChipFacts;
using simtest::Count;
using simtest::Hex;
using simtest::Marks;
using simtest::SimFixture;
using simtest::SimResult;
using simtest::TestImage;

size_t CeilDiv(size_t a, size_t b) { return (a + b - 1) / b; }

const char kBanner[] = " XQR Flash Utility Version : 2.3.0";

std::string ExpectedIdentification(const ChipFacts& chip) {
  return "\nvEnterFollowMode\nSPIDeviceID=" + chip.IdLog() + "\nvExitFollowMode";
}

// The console of an ordinary update (every block by the whole-block path).
std::string ExpectedUpdate(const ChipFacts& chip, size_t size) {
  const size_t pages = CeilDiv(size, 1024);
  const size_t blocks = CeilDiv(size, 0x10000);
  std::string s = "\n\rFile Size: " + std::to_string(pages) + "K\n" +
                  "\n\rBlockNum: 0,  MaxBlock: " + std::to_string(blocks) +
                  ",   PageCount: " + std::to_string(pages) + "\n";
  s += "Send KB Cmd 0xAD \n\nSend EC Cmd 0xDC \n\nRead EC Data \n\nEC ACK OK. \n\n";
  s += "vReadSPIDeviceID start\n\n" + ExpectedIdentification(chip) + "vReadSPIDeviceID end\n\n";
  s += "\nBlockNum=0,MaxBlockNum=" + Hex(blocks);
  for (size_t b = 0; b < blocks; ++b) {
    const size_t in_block = std::min<size_t>(size - b * 0x10000, 0x10000);
    const size_t kb_left = pages - b * 64;
    // The erase stops at the first step at or past the image's end; one
    // mark per 4 KB whatever the step.
    const size_t erase_marks = CeilDiv(std::min<size_t>(kb_left, 64), 4);
    const size_t marks = CeilDiv(in_block, 0x1000);
    s += std::string(kBanner) + " Device ID        : " + chip.DeviceLine() + " " + chip.vendor;
    s += " Block Number     : " + std::to_string(b) + " of " + std::to_string(blocks) + " \n\n";
    s += " Eraseing...      : " + Marks(erase_marks) + " -- Erase OK. \n\n";
    s += "  Erase Verify...  : " + Marks(marks) + " -- Verify OK. \n\n";
    s += "  Programing...    : ";
    if (b == 0 && chip.BytePerProgram()) {
      s += "\n  The flash took only the first byte of a page: one byte per command from here.\n"
           "  Programing...    : ";
    }
    s += Marks(marks) + " -- Programing OK. \n\n";
    s += "  Verify...        : " + Marks(marks) + " -- Verify OK. \n";
  }
  // A part whose ID tells no size has block 0 read back once more.
  if (blocks > 1 && !chip.size_from_id)
    s += "  Verify...        : " + Marks(16) + " -- Verify OK. \n";
  // The summary's time follows, which the board model's clock decides.
  s += "\n\rDone: " + std::to_string(blocks) + (blocks == 1 ? " block, " : " blocks, ") +
       std::to_string(size) + " bytes written and verified in ";
  return s;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  if (from >= bytes.size()) return {};
  count = std::min(count, bytes.size() - from);
  return std::vector<uint8_t>(bytes.begin() + static_cast<long>(from),
                              bytes.begin() + static_cast<long>(from + count));
}

bool AllErased(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  return std::all_of(bytes.begin() + static_cast<long>(from),
                     bytes.begin() + static_cast<long>(std::min(to, bytes.size())),
                     [](uint8_t b) { return b == 0xFF; });
}

// The board after any update, passed or failed: out of flash mode once, the
// keyboard back on, no SPI transaction open.
// Without keyboard commands (/k) the leave command ends the trace.
void ExpectBoardReleased(const SimResult& r, const char* leave = "ec fe",
                         bool keyboard_commands = true) {
  EXPECT_FALSE(r.ec_in_flash_mode);
  EXPECT_EQ(r.ec_flash_mode_entries, 1u);
  EXPECT_FALSE(r.spi_selected);
  EXPECT_TRUE(r.keyboard_enabled);
  EXPECT_EQ(r.TraceLines("ec f").size(), 1u);
  ASSERT_GE(r.trace.size(), 2u);
  if (keyboard_commands) {
    EXPECT_EQ(r.trace[r.trace.size() - 2], leave);
    EXPECT_EQ(r.trace.back(), "kbc ae");
  } else {
    EXPECT_EQ(r.trace.back(), leave);
    EXPECT_TRUE(r.TraceLines("kbc").empty());
  }
}

TEST(Update, EveryChipTakesWholeImagesOfEverySizeAndDumpsThemBack) {
  // Every part of the model, each with its row above.
  for (size_t index = 0; index < FlashProfileCount(); ++index) {
    const std::string name = FlashProfileName(FlashProfileAt(index));
    const ChipFacts* row = simtest::FindChipFacts(name);
    ASSERT_NE(row, nullptr) << name << " has no expectation row";
    const ChipFacts& chip = *row;
    std::vector<size_t> sizes = {0x10000, 0x20000, 70001};
    if (chip.size_kb == 64) sizes = {0x10000, 40001};
    for (size_t size : sizes) {
      SCOPED_TRACE(std::string(chip.name) + " " + std::to_string(size));
      SimFixture sim;
      const std::vector<uint8_t> image = TestImage(size, static_cast<uint32_t>(size));
      sim.WriteFile("ec.bin", image);
      const SimResult r =
          sim.Run({"--chip", chip.name}, {"ec.bin", std::to_string(CeilDiv(size, 1024))});
      EXPECT_EQ(r.status, 0);
      const std::string expected = ExpectedUpdate(chip, size);
      EXPECT_EQ(r.console.substr(0, expected.size()), expected);
      EXPECT_TRUE(
          std::regex_match(r.console.substr(expected.size()), std::regex("\\d+\\.\\d s\\.\n\r")))
          << r.console;
      ASSERT_EQ(r.flash.size(), chip.size_kb * 1024);
      EXPECT_TRUE(Slice(r.flash, 0, size) == image);
      EXPECT_TRUE(AllErased(r.flash, size, r.flash.size()));
      ExpectBoardReleased(r);

      // And back: whole 32 KB chunks from address 0.
      const size_t dump_k = std::min<size_t>(chip.size_kb, 160) + 31;
      const size_t chunks = dump_k / 32;
      const SimResult d = sim.Run({"--chip", chip.name}, {"/S", std::to_string(dump_k)});
      EXPECT_EQ(d.status, 0);
      EXPECT_EQ(d.console, "Save FW to XQRFW.bin : " + ExpectedIdentification(chip) +
                               Marks(6 * chunks) + "-- Save OK!");
      EXPECT_TRUE(sim.ReadFile("XQRFW.bin") == Slice(r.flash, 0, chunks * 0x8000));
      EXPECT_EQ(d.TraceLines("spi 0b"),
                std::vector<std::string>{"spi 0b @000000 w1 r" + std::to_string(chunks * 0x8000)});
    }
  }
}

// The flash byte a stuck bit leaves: the lowest bit that should have been
// cleared stays set.
uint8_t StuckByte(uint8_t wanted) {
  const uint8_t cleared = static_cast<uint8_t>(~wanted);
  return static_cast<uint8_t>(wanted | (cleared & -cleared));
}

struct FailureCase {
  const char* name;
  std::vector<std::string> board;
  std::vector<std::string> args;
  size_t image_size;
  std::string console_end;  // how the console ends
  const char* leave;        // never a reset onto the incomplete flash, /j or not
  bool keyboard_commands;
};

TEST(Update, AFailedCheckLeavesFlashModeOnceWithoutResetReenablesTheKeyboardAndExitsWithTwo) {
  const std::vector<uint8_t> image = TestImage(0x40000, 9);
  const std::string verify_fail =
      simtest::CompareFail(0x10005, image[0x10005], StuckByte(image[0x10005]), "Verify");
  const std::string verify_fail_bbk =
      simtest::CompareFail(0x345, image[0x345], StuckByte(image[0x345]), "Verify");
  const std::string verify = "  Verify...        : " + Marks(1) + verify_fail;
  // clang-format off
  const FailureCase cases[] = {
      {"verify, block 1 of 4", {"--chip", "w25q80", "--fault", "bit-stuck:10005"},
       {"ec.bin", "256"}, 0x40000, verify, "ec fc", true},
      {"verify, no reset, no keyboard", {"--chip", "w25q80", "--fault", "bit-stuck:10005"},
       {"ec.bin", "256", "/j", "/k"}, 0x40000, verify, "ec fc", false},
      {"verify by auto increment", {"--chip", "sst25vf080b", "--fault", "bit-stuck:10005"},
       {"ec.bin", "256"}, 0x40000, verify, "ec fc", true},
      {"erase check of a whole block", {"--chip", "w25q80", "--fault", "erase-leaves:1122"},
       {"ec.bin", "256"}, 0x40000,
       "  Erase Verify...  : " + Marks(2) + " -- Verify Fail. counterN=1122\n", "ec fc", true},
      {"erase check of the boot block", {"--chip", "w25q80", "--fault", "erase-leaves:0ff"},
       {"ec.bin", "4", "/BK"}, 0x1000,
       "  Erase Verify...  : " + Marks(1) + " -- Verify Fail. counterN=ff\n", "ec fc", true},
      {"verify of the boot block", {"--chip", "w25q80", "--fault", "bit-stuck:345"},
       {"ec.bin", "4", "/BK"}, 0x1000, "  Verify...        : " + Marks(4) + verify_fail_bbk,
       "ec fc", true},
  };
  // clang-format on
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    sim.WriteFile("ec.bin", Slice(image, 0, c.image_size));
    const SimResult r = sim.Run(c.board, c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.ec_resets, 0u);
    // The last attempt's failure line, then what to do.
    const size_t failure = r.console.rfind(c.console_end);
    ASSERT_NE(failure, std::string::npos);
    EXPECT_EQ(r.console.find("\n\rWhat to do now:\n\r"), failure + c.console_end.size());
    ExpectBoardReleased(r, c.leave, c.keyboard_commands);
    // Nothing after the failing block is touched.
    for (const std::string& line : r.TraceLines("spi ")) {
      EXPECT_EQ(line.find(" @02"), std::string::npos) << line;
      EXPECT_EQ(line.find(" @03"), std::string::npos) << line;
    }
  }
}

TEST(Update, AFlashThatIgnoresWriteEnableEndsTheUpdateCleanly) {
  SimFixture sim;
  sim.WriteFile("ec.bin", TestImage(0x10000));
  const SimResult r = sim.Run({"--chip", "w25q80", "--fault", "wel-never-sets"}, {"ec.bin", "64"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("Time-out: SPI flash write-enable latch never set"), std::string::npos);
  // Given up in the status clear, before any erase: nothing new to reset into.
  EXPECT_TRUE(r.TraceLines("spi 20").empty());
  ExpectBoardReleased(r, "ec fc");
}

struct PathCase {
  const char* name;
  std::vector<std::string> args;
  size_t image_size;
  const char* base_offset;  // " Base Offset : ..." line, or null
  std::vector<std::string> erases;
  size_t page_commands;
  const char* first_page;
  const char* last_page;
  std::vector<std::string> reads;  // erase checks and verifies
  size_t flash_at;                 // where the image lands
};

std::vector<std::string> EraseLines(uint32_t from, uint32_t count) {
  return simtest::SpiLines(0x20, from, 0x1000, count);
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Update, AreaPathsAndTheStartOffsetWriteWhereTheyShould) {
  // clang-format off
  const PathCase cases[] = {
      {"boot block", {"ec.bin", "4", "/BK"}, 0x1000, " Base Offset : 0x000000\n\r",
       EraseLines(0, 1), 16, "spi 02 @000000 w256", "spi 02 @000f00 w256",
       {"spi 0b @000000 w1 r4096", "spi 0b @000000 w1 r4096"}, 0},
      {"offset 1000", {"ec.bin", "64", "/O", "1000"}, 0x10000, nullptr,
       EraseLines(0x1000, 16), 256, "spi 02 @001000 w256", "spi 02 @010f00 w256",
       {"spi 0b @001000 w1 r65536", "spi 0b @001000 w1 r65536"}, 0x1000},
      {"main area", {"ec.bin", "60", "/Mn"}, 0xF000, " Base Offset : 0x001000\n\r",
       EraseLines(0x1000, 15), 240, "spi 02 @001000 w256", "spi 02 @00ff00 w256",
       {"spi 0b @001000 w1 r61440", "spi 0b @001000 w1 r61440"}, 0x1000},
      {"main area and a whole block", {"ec.bin", "124", "/Mn"}, 0x1F000,
       " Base Offset : 0x001000\n\r", Concat(EraseLines(0x1000, 15), EraseLines(0x10000, 16)),
       496, "spi 02 @001000 w256", "spi 02 @01ff00 w256",
       {"spi 0b @001000 w1 r61440", "spi 0b @001000 w1 r61440", "spi 0b @010000 w1 r65536",
        "spi 0b @010000 w1 r65536"}, 0x1000},
      {"backup area", {"ec.bin", "60", "/Bp"}, 0xF000, " Base Offset : 0x011000\n\r",
       EraseLines(0x11000, 15), 240, "spi 02 @011000 w256", "spi 02 @01ff00 w256",
       {"spi 0b @011000 w1 r61440", "spi 0b @011000 w1 r61440"}, 0x11000},
  };
  // clang-format on
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    const std::vector<uint8_t> image = TestImage(c.image_size, 3);
    sim.WriteFile("ec.bin", image);
    const SimResult r = sim.Run({"--chip", "w25q80"}, c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.TraceLines("spi 20"), c.erases);
    const std::vector<std::string> pages = r.TraceLines("spi 02");
    ASSERT_EQ(pages.size(), c.page_commands);
    EXPECT_EQ(pages.front(), c.first_page);
    EXPECT_EQ(pages.back(), c.last_page);
    EXPECT_EQ(r.TraceLines("spi 0b"), c.reads);
    EXPECT_EQ(Count(r.console, " Base Offset"), c.base_offset == nullptr ? 0u : 1u);
    if (c.base_offset != nullptr) {
      EXPECT_NE(r.console.find(c.base_offset), std::string::npos);
    }
    EXPECT_TRUE(Slice(r.flash, c.flash_at, image.size()) == image);
    EXPECT_TRUE(AllErased(r.flash, 0, c.flash_at));
    EXPECT_TRUE(AllErased(r.flash, c.flash_at + image.size(), r.flash.size()));
    ExpectBoardReleased(r);
  }
}

TEST(Update, HalfBlockChipsWriteA256KImageAsTwoBlocks) {
  struct {
    const char* chip_id;
    size_t image_from;  // image offset that lands at flash address 0
    size_t blocks;
  } const cases[] = {{"5325", 0x20000, 2}, {"5728", 0, 2}, {"5512", 0, 4}};
  const std::vector<uint8_t> image = TestImage(0x40000, 5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chip_id);
    SimFixture sim;
    sim.WriteFile("ec.bin", image);
    const SimResult r = sim.Run({"--chip", "w25q80", "--chip-id", c.chip_id}, {"ec.bin", "256"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.console.find("\nBlockNum=0,MaxBlockNum=4"), std::string::npos);
    EXPECT_EQ(r.TraceLines("spi 0b").size(), 2 * c.blocks);
    const size_t written = c.blocks * 0x10000;
    EXPECT_TRUE(Slice(r.flash, 0, written) == Slice(image, c.image_from, written));
    EXPECT_TRUE(AllErased(r.flash, written, r.flash.size()));
    ExpectBoardReleased(r);
  }
}

// The last screen as the firmware shows it: every step on its own row at the
// layout's two-blank indent, whatever the chip's programming method, at the
// default size and at the UEFI Shell's 100x31.
TEST(Update, TheLastScreenShowsEveryStepAtTheLeftEdge) {
  for (const char* chip : {"w25q80", "sst25vf080b"}) {
    // The console's lines, one column in, without their trailing blanks.
    const ChipFacts& facts = *simtest::FindChipFacts(chip);
    std::string vendor = std::string(" ") + facts.vendor;
    vendor.erase(vendor.find_last_not_of(" \n") + 1);
    for (const char* size : {"80x25", "100x31"}) {
      SimFixture sim;
      sim.WriteFile("ec.bin", TestImage(0x10000));
      const SimResult r = sim.Run({"--chip", chip, "--screen-size", size}, {"ec.bin", "64"});
      ASSERT_EQ(r.status, 0) << chip;
      const std::vector<std::string> expected = {
          "",
          "  XQR Flash Utility Version : 2.3.0",
          "",
          "  Device ID        : " + facts.DeviceLine(),
          vendor,
          "  Block Number     : 0 of 1",
          "",
          "",
          "",
          "",
          "  Eraseing...      : " + Marks(16) + " -- Erase OK.",
          "",
          "  Erase Verify...  : " + Marks(16) + " -- Verify OK.",
          "",
          "  Programing...    : " + Marks(16) + " -- Programing OK.",
          "",
          "  Verify...        : " + Marks(16) + " -- Verify OK.",
      };
      ASSERT_GE(r.screen.size(), expected.size());
      EXPECT_EQ(std::vector<std::string>(r.screen.begin(), r.screen.begin() + expected.size()),
                expected)
          << chip << " at " << size << ":\n"
          << r.ScreenText();
    }
  }
}

TEST(Update, AnEmptyImageEntersAndLeavesFlashModeWithoutTouchingABlock) {
  SimFixture sim;
  sim.WriteFile("ec.bin", std::vector<uint8_t>{});
  // Refused as no firmware unless forced.
  const SimResult r = sim.Run({"--chip", "w25q80"}, {"ec.bin", "0", "/F"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(
      r.console.starts_with("\n\rFile Size: 0K\n"
                            "\n\rBlockNum: 0,  MaxBlock: 0,   PageCount: 0\n"))
      << r.console;
  EXPECT_EQ(r.TraceLines("ec dc"), std::vector<std::string>{"ec dc -> 33"});
  EXPECT_EQ(FlashState.ImageLoaded, 0);
  EXPECT_NE(r.console.find("vReadSPIDeviceID end\n\n\nBlockNum=0,MaxBlockNum=0"),
            std::string::npos);
  EXPECT_EQ(r.console.find("Block Number"), std::string::npos);
  EXPECT_EQ(r.TraceLines("spi "), (std::vector<std::string>{"spi 05 r1", "spi 9f r4"}));
  ExpectBoardReleased(r);
}

// SPI bytes a transaction line stands for: opcode, address, written and read
// bytes ("spi 0b @000000 w1 r65536").
size_t TunnelBytes(const std::string& line) {
  size_t bytes = 1;
  size_t at = 7;  // past "spi OP "
  while (at < line.size()) {
    size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    const std::string field = line.substr(at, end - at);
    if (field[0] == '@') bytes += 3;
    if (field[0] == 'w' || field[0] == 'r') bytes += std::stoul(field.substr(1));
    at = end + 1;
  }
  return bytes;
}

TEST(Update, WithoutLatencyEveryTunnelByteCostsExactlyItsHandshake) {
  // Page program, 32-byte pieces, auto increment by word and by byte.
  const char* chips[] = {"w25q80", "mx25l512", "sst25vf080b", "sst25vf512a"};
  for (const char* chip : chips) {
    SCOPED_TRACE(chip);
    SimFixture sim;
    sim.WriteFile("ec.bin", TestImage(0x8001));
    simtest::RunOptions options;
    options.port_trace = true;
    const SimResult r = sim.Run({"--chip", chip, "--ec-latency", "0", "--kbc-latency", "0"},
                                {"ec.bin", "33"}, options);
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string>& ports = r.port_trace;
    const auto enter = std::find(ports.begin(), ports.end(), "out 66 dc");
    ASSERT_NE(enter, ports.end());
    auto leave = ports.end();
    for (auto it = ports.begin(); it != ports.end(); ++it) {
      if (it->compare(0, 7, "out 66 ") == 0) leave = it;
    }
    ASSERT_EQ(*leave, "out 66 fe");
    // Sub-commands that begin and end transactions, from the port bytes.
    size_t selects = 0, deselects = 0;
    for (auto it = enter + 1; it != leave; ++it) {
      if (it->compare(0, 7, "out 66 ") != 0) continue;
      const std::string sub = it->substr(7);
      if (sub == "01") ++selects;
      if (sub == "05") ++deselects;
      if (sub == "02" || sub == "03") {
        // Skip its operand, the next byte written to 0x66.
        do {
          ++it;
        } while (it != leave && it->compare(0, 7, "out 66 ") != 0);
      }
    }
    size_t transactions = 0, bytes = 0;
    for (const std::string& line : r.TraceLines("spi ")) {
      ++transactions;
      bytes += TunnelBytes(line);
    }
    EXPECT_EQ(selects, transactions);
    EXPECT_EQ(bytes, r.counters.spi_bytes_written + r.counters.spi_bytes_read);
    // 0xDC with its two waits, the acknowledgement (one OBF poll, one read),
    // 0x01 and 0x05 with two waits each, every SPI byte as a sub-command
    // exchange of five accesses, and the leave command with its waits.
    const size_t expected = 3 + 2 + 3 * (selects + deselects) + 5 * bytes + 3;
    // From the wait before 0xDC to the wait after the leave command.
    const size_t actual = static_cast<size_t>(leave - enter) + 1 + 2;
    EXPECT_EQ(actual, expected);
  }
}

TEST(Update, MainAreaImagesOverOneBlockLandWholeWithEveryProgrammingMethod) {
  const char* chips[] = {"w25q80", "mx25l8005", "sst25vf080b", "xqr", "xqr-a"};
  const std::vector<uint8_t> image = TestImage(0x2F000, 13);  // 60 KB and two 64 KB blocks
  for (const char* chip : chips) {
    SCOPED_TRACE(chip);
    SimFixture sim;
    const size_t size = FlashProfileSize(FindFlashProfile(chip)) >= 0x30000 ? 0x2F000 : 0x1F000;
    sim.WriteFile("ec.bin", Slice(image, 0, size));
    const SimResult r = sim.Run({"--chip", chip}, {"ec.bin", std::to_string(size / 1024), "/Mn"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(AllErased(r.flash, 0, 0x1000));
    EXPECT_TRUE(Slice(r.flash, 0x1000, size) == Slice(image, 0, size));
    EXPECT_TRUE(AllErased(r.flash, 0x1000 + size, r.flash.size()));
    EXPECT_EQ(r.console.find("Fail"), std::string::npos);
    ExpectBoardReleased(r);
  }
}

}  // namespace
