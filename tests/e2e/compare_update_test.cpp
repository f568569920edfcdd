// /D and /U on every modelled chip and every path, judged by the flash file
// (filled with a pattern around the image), the SPI trace and a host-side
// reckoning of which erase units differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::SimResult;

struct Path {
  const char* option;  // null: the whole-block path
  uint32_t start;      // flash address of image byte 0
  size_t size;         // odd, so the last unit is partial
};
const Path kPaths[] = {
    {nullptr, 0, 0x12A01}, {"/BK", 0, 0xBB9}, {"/Mn", 0x1000, 0x9001}, {"/Bp", 0x11000, 0x7003}};

// The smallest erase of each part's path, from the datasheets.
uint32_t Unit(const std::string& chip, const Path& path) {
  if (chip == "m25p80") return 0x10000;
  return path.option == nullptr && chip.rfind("xqr", 0) == 0 ? 0x400 : 0x1000;
}

// Opcodes a run that writes nothing may send: identification, status and
// write-disable, fast read.
bool OnlyReads(const SimResult& r) {
  return std::all_of(r.trace.begin(), r.trace.end(), [](const std::string& line) {
    if (line.rfind("spi ", 0) != 0) return true;
    const std::string op = line.substr(4, 2);
    return op == "9f" || op == "ab" || op == "05" || op == "04" || op == "0b";
  });
}

std::set<uint32_t> Erases(const SimResult& r) {
  std::set<uint32_t> at;
  for (const std::string& line : r.trace) {
    unsigned op = 0, address = 0;
    if (std::sscanf(line.c_str(), "spi %x @%x", &op, &address) == 2 &&
        (op == 0x20 || op == 0x52 || op == 0xD8 || op == 0xD7))
      at.insert(address);
  }
  return at;
}

// Each block's text, up to the next block or the closing blank line.
std::vector<std::string> BlockLines(const std::string& console) {
  std::vector<std::string> lines;
  for (size_t at = 0; (at = console.find("\n\r Block ", at)) != std::string::npos; at += 2) {
    const size_t end =
        std::min(console.find("\n\r Block ", at + 2), console.find("\n\r\n\r", at + 2));
    lines.push_back(console.substr(at + 2, end - at - 2));
  }
  return lines;
}

class CompareUpdate : public testing::TestWithParam<size_t> {};

TEST_P(CompareUpdate, DFindsExactlyTheDifferingUnitsAndUWritesOnlyThose) {
  const FlashProfile* profile = FlashProfileAt(GetParam());
  const std::string chip = FlashProfileName(profile);
  const std::vector<std::string> board = {"--chip",        chip, "--ec-latency", "0",
                                          "--kbc-latency", "0"};
  for (const Path& path : kPaths) {
    SCOPED_TRACE(chip + " " + (path.option ? path.option : "whole"));
    const bool small = FlashProfileSize(profile) == 0x10000;
    const size_t size = small && !path.option ? 0x8A01 : path.size;
    const std::vector<uint8_t> image = simtest::TestImage(size, 7);
    std::vector<uint8_t> equal = simtest::RandomBytes(FlashProfileSize(profile), 3);
    const uint32_t unit = Unit(chip, path);
    simtest::SimFixture sim;
    sim.WriteFile("ec.bin", image);
    auto run = [&](const std::vector<uint8_t>& flash, const char* mode) {
      sim.WriteFile("tolvi-sim-flash.bin", flash);
      std::vector<std::string> args = {"ec.bin", "0", mode};
      if (path.option) args.push_back(path.option);
      return sim.Run(board, args);
    };
    // The update's refusals hold: a part that erases 64 KB only has no area
    // paths, and a 64 KB part no backup area.
    const char* refusal = chip == "m25p80" && path.option ? "cannot be written alone"
                          : small && path.start > 0x10000 ? "beyond this 64K flash"
                                                          : nullptr;
    if (refusal) {
      for (const char* mode : {"/D", "/U"}) {
        const SimResult r = run(equal, mode);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.console.find(refusal), std::string::npos);
        EXPECT_TRUE(OnlyReads(r) && r.flash == equal);
      }
      continue;
    }
    std::copy(image.begin(), image.end(), equal.begin() + path.start);
    // Image offsets to change: first, middle and last byte of a unit, the
    // image's last byte, and three units at once, not all adjacent.
    const size_t base = size > 2 * unit ? unit : 0;
    std::vector<std::vector<size_t>> changes = {
        {}, {base}, {base + unit / 2}, {base + unit - 1}, {size - 1}, {0, 2 * unit + 5, size - 1}};
    for (std::vector<size_t> change : changes) {
      change.erase(
          std::remove_if(change.begin(), change.end(), [&](size_t i) { return i >= size; }),
          change.end());
      SCOPED_TRACE(change.empty() ? "equal" : "first change at " + std::to_string(change[0]));
      std::vector<uint8_t> before = equal;
      std::vector<uint8_t> after = equal;
      std::set<uint32_t> units;
      for (size_t i : change) {
        before[path.start + i] ^= 0x5A;
        units.insert(static_cast<uint32_t>((path.start + i) / unit * unit));
      }
      for (uint32_t u : units) {
        for (uint32_t a = u; a < u + unit; ++a)
          after[a] = a >= path.start && a - path.start < size ? image[a - path.start] : 0xFF;
      }
      // The lines /D prints, one per block, with its unit map.
      std::vector<std::string> lines;
      for (size_t b = 0; b * 0x10000 < size; ++b) {
        const uint32_t start = path.start + static_cast<uint32_t>(b * 0x10000);
        const size_t extent = std::min<size_t>(0x10000, size - b * 0x10000);
        std::string map((extent + unit - 1) / unit, '.');
        std::vector<uint32_t> in_block;
        for (size_t i : change) {
          if (i / 0x10000 == b) in_block.push_back(static_cast<uint32_t>(path.start + i));
        }
        for (uint32_t a : in_block) map[(a - start) / unit] = 'X';
        char text[96] = " -- Same.";
        if (in_block.size() == 1)
          std::snprintf(text, sizeof text, " -- Differ: 1 byte, at 0x%06x.", in_block[0]);
        if (in_block.size() > 1)
          std::snprintf(text, sizeof text, " -- Differ: %zu bytes, first 0x%06x.", in_block.size(),
                        in_block[0]);
        // A map wider than 16 units would not fit beside the text in 80 columns.
        lines.push_back(" Block " + std::to_string(b) + " :" + text +
                        (map.size() > 16 ? "\n\r" + std::string(11, ' ') : " ") + map);
      }
      const SimResult d = run(before, "/D");
      EXPECT_EQ(d.status, change.empty() ? 0 : 1);
      EXPECT_EQ(BlockLines(d.console), lines);
      // A difference is an answer: no failure advice follows it.
      EXPECT_TRUE(d.console.ends_with(change.empty()
                                          ? "\n\rThe flash holds the image.\n\n"
                                          : "\n\rThe flash does not hold the image.\n\n"))
          << d.console;
      EXPECT_TRUE(OnlyReads(d) && d.flash == before);
      EXPECT_TRUE(!d.ec_in_flash_mode && d.keyboard_enabled);

      const SimResult u = run(before, "/U");
      EXPECT_EQ(u.status, 0) << u.console;
      EXPECT_EQ(Erases(u), units);
      EXPECT_TRUE(u.flash == after);
      EXPECT_TRUE(!units.empty() || OnlyReads(u));
    }
  }
}

// A unit that fails its verify is done again from the read, with the update's
// retry line; a fault that stays ends /U as it ends the update.
TEST(CompareUpdate, UChangedUnitRetriesOnceAndAPersistentFaultEndsAsTheUpdateDoes) {
  const std::vector<uint8_t> image = simtest::TestImage(0x20000, 5);
  std::vector<uint8_t> flash = simtest::RandomBytes(0x100000, 4);
  std::copy(image.begin(), image.end(), flash.begin());
  flash[0x13005] ^= 0x5A;  // unit 0x13000 of block 1 differs
  std::vector<uint8_t> fixed = flash;
  std::copy(image.begin(), image.end(), fixed.begin());
  for (const char* fault : {"bit-stuck-once:13001", "bit-stuck:13001"}) {
    SCOPED_TRACE(fault);
    const bool once = std::string(fault).find("once") != std::string::npos;
    simtest::SimFixture sim;
    sim.WriteFile("ec.bin", image);
    sim.WriteFile("tolvi-sim-flash.bin", flash);
    const SimResult r = sim.Run({"--chip", "w25q80", "--fault", fault}, {"ec.bin", "128", "/U"});
    EXPECT_EQ(r.status, once ? 0 : 2);
    EXPECT_EQ(Erases(r), std::set<uint32_t>{0x13000});
    EXPECT_EQ(r.TraceLines("spi 20").size(), once ? 2u : 3u);
    EXPECT_NE(r.console.find(" Block 1 failed its check: retry, attempt 2 of 3"),
              std::string::npos);
    EXPECT_EQ(r.TraceLines("ec f"), std::vector<std::string>{once ? "ec fe" : "ec fc"});
    EXPECT_TRUE(!r.ec_in_flash_mode && r.keyboard_enabled);
    if (once) {
      EXPECT_TRUE(r.flash == fixed);
    } else {
      EXPECT_NE(r.console.find("Block 0 was written and verified.\n\rBlock 1 (flash address "
                               "0x010000) is incomplete."),
                std::string::npos);
      // Only the failing unit was touched.
      for (size_t a = 0; a < flash.size(); ++a) {
        if (a / 0x1000 != 0x13 && r.flash[a] != flash[a]) ADD_FAILURE() << a;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryChip, CompareUpdate, testing::Range<size_t>(0, FlashProfileCount()),
                         [](const testing::TestParamInfo<size_t>& info) {
                           std::string name = FlashProfileName(FlashProfileAt(info.param));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
