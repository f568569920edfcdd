// The flash chip model, driven the way the EC's follow mode drives it: chip
// select, opcode and data bytes, reads, deselect, on a virtual clock.
#include "sim/flash/flash_chip.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "sim/flash/flash_profile.h"
#include "tests/support/chip_bench.h"
#include "tests/support/chip_facts.h"

namespace {

using Rig = simtest::ChipRig;

constexpr uint64_t kMs = 1000000;

// Every profile has its expectation row and every row its profile; each
// part answers its ID bytes and lists itself with them and its size.
TEST(FlashChipTable, EveryProfileAnswersItsIdBytes) {
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    EXPECT_NE(simtest::FindChipFacts(FlashProfileName(FlashProfileAt(i))), nullptr)
        << FlashProfileName(FlashProfileAt(i)) << " has no expectation row";
  }
  for (const simtest::ChipFacts& c : simtest::AllChipFacts()) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(FindFlashProfile(c.name), nullptr) << "an expectation row of no profile";
    Rig rig(c.name);
    EXPECT_EQ(rig.Tx(0x9F, {}, 4), std::vector<uint8_t>(c.jedec.begin(), c.jedec.end()));
    EXPECT_EQ(rig.Tx(0xAB, {0, 0, 0}, 16),
              std::vector<uint8_t>(c.signature.begin(), c.signature.end()));
    EXPECT_EQ(FlashProfileSize(rig.chip.Profile()), c.size_kb * 1024);
    EXPECT_STREQ(FlashProfileName(rig.chip.Profile()), c.name);

    char line[160];
    FormatFlashProfileLine(rig.chip.Profile(), line, sizeof(line));
    char id[16];
    std::snprintf(id, sizeof(id), "%02x %02x %02x %02x", c.jedec[0], c.jedec[1], c.jedec[2],
                  c.jedec[3]);
    const std::string text = line;
    EXPECT_EQ(text.rfind(c.name, 0), 0u) << text;
    EXPECT_NE(text.find(id), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(c.size_kb) + " KB"), std::string::npos) << text;
  }
  // The manual promises a common 1 MB part when no chip is named: one whose
  // ID tells its size and which takes pages.
  const simtest::ChipFacts* fallback =
      simtest::FindChipFacts(FlashProfileName(DefaultFlashProfile()));
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback->size_kb, 1024u);
  EXPECT_TRUE(fallback->size_from_id);
  EXPECT_EQ(fallback->program, ProgramKind::kPages);
  EXPECT_EQ(FindFlashProfile("no-such-chip"), nullptr);
  EXPECT_EQ(FlashProfileAt(FlashProfileCount()), nullptr);
}

TEST(FlashChipTable, SignaturePartsKeepTheirSixteenBytes) {
  Rig rig("xqr");
  const std::vector<uint8_t> signature = rig.Tx(0xAB, {0, 0, 0}, 16);
  EXPECT_EQ(signature.front(), 0xFF);
  EXPECT_NE(signature.back(), 0x00);
  EXPECT_EQ(rig.trace.back(), "spi ab w3 r16");
  // 0x90 answers manufacturer and device, address bit 0 choosing the order.
  Rig winbond;
  EXPECT_EQ(winbond.Tx(0x90, {0, 0, 0}, 4), (std::vector<uint8_t>{0xEF, 0x13, 0xEF, 0x13}));
  EXPECT_EQ(winbond.Tx(0x90, {0, 0, 1}, 2), (std::vector<uint8_t>{0x13, 0xEF}));
}

TEST(FlashChipEngine, ProgrammingOnlyClearsBitsAndEraseSetsThemOnEveryPart) {
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    const char* name = FlashProfileName(FlashProfileAt(i));
    SCOPED_TRACE(name);
    Rig rig(name);
    rig.Unprotect();
    // The 4 KB erase where the part has one (0x20, or 0xD7 on the PMC part
    // without 0x20), else the 64 KB one (m25p80).
    const bool st = std::strcmp(name, "m25p80") == 0;
    const uint8_t erase = st ? 0xD8 : std::strcmp(name, "pm25lv040") == 0 ? 0xD7 : 0x20;
    rig.Program(0x0100, {0xF0});
    EXPECT_EQ(rig.flash[0x100], 0xF0);
    rig.Program(0x0100, {0x3C});
    EXPECT_EQ(rig.flash[0x100], 0x30);  // 0xF0 & 0x3C: a 1 cannot come back
    rig.flash[0x0FFF] = 0x00;
    rig.flash[st ? 0x10000 : 0x1000] = 0x00;
    rig.Erase(erase, 0x0123);  // any address inside the sector
    EXPECT_TRUE(rig.AllFF(0, st ? 0x10000 : 0x1000));
    EXPECT_EQ(rig.flash[st ? 0x10000 : 0x1000], 0x00);  // the next sector is untouched
  }
}

TEST(FlashChipEngine, WritesWithoutTheLatchAreIgnored) {
  Rig rig;
  rig.flash[0x2000] = 0x55;
  struct Case {
    const char* what;
    uint8_t opcode;
    std::vector<uint8_t> out;
  };
  const Case cases[] = {
      {"sector erase", 0x20, {0x00, 0x20, 0x00}},
      {"block erase", 0xD8, {0x00, 0x00, 0x00}},
      {"page program", 0x02, {0x00, 0x30, 0x00, 0x00}},
      {"status write", 0x01, {0x1C}},
      {"chip erase", 0xC7, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rig.Tx(c.opcode, c.out);
    EXPECT_EQ(rig.Status(), 0x00);
    EXPECT_FALSE(rig.chip.Busy());
    EXPECT_EQ(rig.flash[0x2000], 0x55);
    EXPECT_EQ(rig.flash[0x3000], 0xFF);
  }
  // 0x04 drops the latch again.
  rig.WriteEnable();
  EXPECT_EQ(rig.Status(), 0x02);
  rig.Tx(0x04);
  EXPECT_EQ(rig.Status(), 0x00);
  rig.Tx(0x20, {0x00, 0x20, 0x00});
  EXPECT_EQ(rig.flash[0x2000], 0x55);
}

TEST(FlashChipEngine, InstructionsNeedTheirExactByteCount) {
  Rig rig;
  rig.flash[0x2000] = 0x55;
  rig.WriteEnable();
  rig.Tx(0x20, {0x00, 0x20});              // an address byte short
  rig.Tx(0x20, {0x00, 0x20, 0x00, 0x00});  // one too many
  rig.Tx(0x02, {0x00, 0x20, 0x00});        // no data byte
  EXPECT_EQ(rig.flash[0x2000], 0x55);
  EXPECT_EQ(rig.Status(), 0x02);  // nothing ran, so the latch is still set
  rig.Tx(0x06, {0x00});           // a write enable with a stray byte does nothing
  rig.Tx(0x04, {0x00});           // nor does such a write disable
  EXPECT_EQ(rig.Status(), 0x02);
}

TEST(FlashChipEngine, EraseKeepsTheChipBusyForItsTimeAndIgnoresOtherInstructions) {
  Rig rig;
  rig.flash[0x5000] = 0x00;
  rig.WriteEnable();
  rig.Tx(0x20, {0x00, 0x50, 0x00});
  EXPECT_TRUE(rig.AllFF(0x5000, 0x6000));
  EXPECT_EQ(rig.Status(), 0x03);  // WIP and WEL while the erase runs

  // Ignored while busy: a read, a write enable, a program.
  rig.flash[0x7000] = 0xA5;
  EXPECT_EQ(rig.Tx(0x03, {0x00, 0x70, 0x00}, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
  rig.Tx(0x02, {0x00, 0x50, 0x00, 0x00});
  EXPECT_EQ(rig.flash[0x5000], 0xFF);
  EXPECT_EQ(rig.Tx(0x9F, {}, 1), (std::vector<uint8_t>{0xFF}));

  rig.clock.now_ns += 45 * kMs - 1;  // 4 KB erase: 45 ms
  EXPECT_EQ(rig.Status(), 0x03);
  rig.clock.now_ns += 1;
  EXPECT_EQ(rig.Status(), 0x00);  // done, and the latch is gone
  EXPECT_EQ(rig.Tx(0x03, {0x00, 0x70, 0x00}, 1), (std::vector<uint8_t>{0xA5}));

  // Each further read of one 0x05 transaction shows the register afresh.
  rig.WriteEnable();
  rig.Tx(0x02, {0x00, 0x50, 0x00, 0x12});
  rig.chip.Select();
  rig.chip.Write(0x05);
  EXPECT_EQ(rig.chip.Read(), 0x03);
  rig.clock.now_ns += 700000;  // page program: 0.7 ms
  EXPECT_EQ(rig.chip.Read(), 0x00);
  rig.chip.Deselect();
  EXPECT_EQ(rig.flash[0x5000], 0x12);
}

TEST(FlashChipEngine, BusyTimesFollowTheOperation) {
  struct Case {
    const char* chip;
    uint8_t opcode;
    uint32_t address;
    uint64_t busy_ns;
  };
  const Case cases[] = {
      {"w25q80", 0x20, 0x1000, 45 * kMs},   {"w25q80", 0x52, 0x8000, 120 * kMs},
      {"w25q80", 0xD8, 0x10000, 150 * kMs}, {"m25p80", 0xD8, 0x10000, 600 * kMs},
      {"xqr-a", 0xD7, 0x400, 25 * kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    Rig rig(c.chip);
    rig.WriteEnable();
    rig.Tx(c.opcode, Rig::Address(c.address));
    const uint64_t start = rig.clock.now_ns;
    rig.WaitReady();
    EXPECT_EQ(rig.clock.now_ns - start, c.busy_ns);
  }
}

TEST(FlashChipEngine, PageProgramWrapsInsideItsPage) {
  struct Case {
    const char* chip;
    uint32_t address;
    size_t count;
    uint32_t page;
  };
  const Case cases[] = {
      {"w25q80", 0x1F80, 256, 256},  // starts mid-page: the rest wraps to 0x1F00
      {"w25q80", 0x1F00, 260, 256},  // four bytes too many replace the first four
      // The small Macronix part latches 256 bytes too (flashrom macronix.c 1101-1140).
      {"mx25l512", 0x01F0, 32, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.count));
    Rig rig(c.chip);
    std::vector<uint8_t> data;
    for (size_t i = 0; i < c.count; ++i) data.push_back(static_cast<uint8_t>(i + 1));
    // What the page latch holds: the last byte sent for each position.
    std::vector<int> expected(c.page, 0xFF);
    const uint32_t base = c.address & ~(c.page - 1);
    for (size_t i = 0; i < c.count; ++i) expected[(c.address - base + i) % c.page] = data[i];
    rig.Program(c.address, data);
    for (uint32_t i = 0; i < c.page; ++i) {
      ASSERT_EQ(rig.flash[base + i], expected[i]) << "offset " << i;
    }
    EXPECT_EQ(rig.flash[base + c.page], 0xFF);
    EXPECT_EQ(rig.flash[base - 1], 0xFF);
  }
}

TEST(FlashChipEngine, ReadsRunAcrossTheArrayAndWrapAtItsEnd) {
  Rig rig("mx25l512");
  rig.flash[0xFFFE] = 0x11;
  rig.flash[0xFFFF] = 0x22;
  rig.flash[0x0000] = 0x33;
  EXPECT_EQ(rig.Tx(0x0B, {0x00, 0xFF, 0xFE, 0x00}, 3), (std::vector<uint8_t>{0x11, 0x22, 0x33}));
  EXPECT_EQ(rig.Tx(0x03, {0x00, 0xFF, 0xFF}, 2), (std::vector<uint8_t>{0x22, 0x33}));
}

TEST(FlashChipEngine, OpeningATransactionEndsTheOpenOne) {
  Rig rig;
  rig.chip.Select();
  rig.chip.Write(0x06);
  rig.chip.Select();  // the tunnel's 0x01 without a 0x05 before it
  rig.chip.Write(0x05);
  EXPECT_EQ(rig.chip.Read(), 0x02);
  rig.chip.Deselect();
  EXPECT_EQ(rig.trace, (std::vector<std::string>{"spi 06", "spi 05 r1"}));
}

TEST(FlashChipSst, AutoIncrementWordProgramsPairsUntilWriteDisable) {
  Rig rig("sst25vf080b");
  EXPECT_EQ(rig.Status(), 0x1C);  // powers up with the whole array protected
  rig.Unprotect();
  EXPECT_EQ(rig.Status(), 0x00);
  rig.trace.clear();

  rig.WriteEnable();
  rig.Tx(0xAD, {0x00, 0x10, 0x01, 0x11, 0x22});  // address bit 0 is ignored in word mode
  EXPECT_EQ(rig.Status() & 0x43, 0x43);          // busy, latch, auto-increment
  rig.WaitReady();
  EXPECT_EQ(rig.Status(), 0x42);
  // Nothing but 0x05, 0xAD and 0x04 is accepted inside the sequence.
  EXPECT_EQ(rig.Tx(0x03, {0x00, 0x10, 0x00}, 1), (std::vector<uint8_t>{0xFF}));
  rig.Tx(0x20, {0x00, 0x10, 0x00});
  rig.Tx(0xAD, {0x33, 0x44});
  rig.WaitReady();
  rig.Tx(0xAD, {0x55});  // half a word: ignored
  rig.Tx(0xAD);          // the program's last, empty command
  rig.Tx(0x04);
  EXPECT_EQ(rig.Status(), 0x00);
  EXPECT_EQ(std::vector<uint8_t>(rig.flash.begin() + 0x1000, rig.flash.begin() + 0x1006),
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0xFF, 0xFF}));
  EXPECT_EQ(rig.trace[1], "spi ad @001001 w2");  // the address as sent
  EXPECT_EQ(rig.trace[5], "spi 03 @001000 r1");  // ignored, but traced as sent
  EXPECT_EQ(rig.trace[7], "spi ad w2");

  // After 0x04 a new sequence needs its address and latch again.
  rig.Tx(0xAD, {0x66, 0x77});
  EXPECT_EQ(rig.flash[0x1004], 0xFF);
  // 0x02 on this part programs one byte, the first; the rest are ignored
  // (the datasheet's one-byte command, from memory).
  rig.Program(0x2000, {0x01, 0x02, 0x03});
  EXPECT_EQ(rig.flash[0x2000], 0x01);
  EXPECT_EQ(rig.flash[0x2001], 0xFF);
}

TEST(FlashChipSst, AutoIncrementByteOnTheOlderPart) {
  Rig rig("sst25vf512a");
  rig.Unprotect();
  rig.WriteEnable();
  rig.Tx(0xAF, {0x00, 0x80, 0x00, 0xA1});
  rig.WaitReady();
  for (uint8_t byte : {0xA2, 0xA3}) {
    rig.Tx(0xAF, {byte});
    rig.WaitReady();
  }
  rig.Tx(0xAF);
  rig.Tx(0x04);
  EXPECT_EQ(rig.Status(), 0x00);
  EXPECT_EQ(std::vector<uint8_t>(rig.flash.begin() + 0x8000, rig.flash.begin() + 0x8004),
            (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xFF}));
  // The older part has no word mode.
  rig.WriteEnable();
  rig.Tx(0xAD, {0x00, 0x90, 0x00, 0x01, 0x02});
  EXPECT_EQ(rig.flash[0x9000], 0xFF);
}

TEST(FlashChipSst, StatusWritesNeedTheEnableInstruction) {
  struct Case {
    const char* chip;
    std::vector<uint8_t> before;  // opcodes sent before 0x01 0x00
    uint8_t status_after;
  };
  const Case cases[] = {
      {"sst25vf512a", {0x06}, 0x0C},              // the latch alone is not enough here
      {"sst25vf512a", {0x50}, 0x00},              // 0x50 arms the write
      {"sst25vf512a", {0x06, 0x50, 0x05}, 0x00},  // a status poll between is allowed
      {"sst25vf512a", {0x50, 0x06}, 0x0C},        // anything else disarms it
      {"sst25vf080b", {0x06}, 0x00},              // this part takes the latch as well
      {"sst25vf080b", {0x50}, 0x00},
      {"sst25vf080b", {}, 0x1C},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chip);
    Rig rig(c.chip);
    for (uint8_t opcode : c.before) rig.Tx(opcode, {}, opcode == 0x05 ? 1 : 0);
    rig.Tx(0x01, {0x00});
    rig.WaitReady();
    EXPECT_EQ(rig.Status() & 0xBC, c.status_after);  // the protection bits
  }
}

TEST(FlashChipWinbond, ProtectionRefusesWritesInTheProtectedRange) {
  Rig rig;
  rig.flash[0x0000] = 0x00;
  rig.flash[0x1000] = 0x00;
  // The program's protection: status 0x64, status register 2 as read.
  rig.WriteEnable();
  const uint8_t status2 = rig.Tx(0x35, {}, 1)[0];
  rig.Tx(0x01, {0x64, status2});
  rig.WaitReady();
  EXPECT_EQ(rig.Status(), 0x64);

  rig.Erase(0x20, 0x0000);
  EXPECT_EQ(rig.flash[0x0000], 0x00);  // SEC+TB+BP0: the lowest 4 KB
  rig.Erase(0x20, 0x1000);
  EXPECT_EQ(rig.flash[0x1000], 0xFF);
  rig.Program(0x0010, {0x00});
  EXPECT_EQ(rig.flash[0x0010], 0xFF);
  EXPECT_EQ(rig.Status(), 0x66);  // refused: the latch stays set
  rig.Erase(0xD8, 0x0000);        // a block that covers it is refused too
  EXPECT_EQ(rig.flash[0x0000], 0x00);
  rig.Tx(0xC7);
  EXPECT_EQ(rig.flash[0x0000], 0x00);

  // The program's status clear lifts it.
  rig.Tx(0x04);
  rig.Unprotect();
  EXPECT_EQ(rig.Status(), 0x00);
  rig.Erase(0x20, 0x0000);
  EXPECT_EQ(rig.flash[0x0000], 0xFF);
}

TEST(FlashChipWinbond, StatusRegisterTwoAndItsLocks) {
  Rig rig;
  // The volatile enable writes at once, without the latch.
  rig.Tx(0x50);
  rig.Tx(0x01, {0x00, 0x42});  // CMP and QE
  EXPECT_FALSE(rig.chip.Busy());
  EXPECT_EQ(rig.Tx(0x35, {}, 1)[0], 0x42);
  // A one-byte write clears QE and SRP1 but keeps CMP.
  EXPECT_EQ(rig.WriteStatus({0x00}), 10000u);  // 10 ms at 1 us per poll
  EXPECT_EQ(rig.chip.StatusRegister2(), 0x40);
  // CMP with nothing selected protects everything.
  rig.Program(0x1234, {0x00});
  EXPECT_EQ(rig.flash[0x1234], 0xFF);

  // SRP1 locks the register until power is cycled.
  rig.WriteStatus({0x00, 0x01});
  rig.WriteStatus({0x1C, 0x00});
  EXPECT_EQ(rig.Status(), 0x02);
  EXPECT_EQ(rig.chip.StatusRegister2(), 0x01);

  // SRP0 locks only while WP# is low.
  Rig pin;
  ASSERT_TRUE(pin.chip.ApplyFault("wp-low", nullptr));
  pin.WriteStatus({0x80});
  pin.WriteStatus({0x1C});
  EXPECT_EQ(pin.Status(), 0x82);
}

TEST(FlashChipProtection, RangesFollowEachLayout) {
  struct Case {
    const char* chip;
    uint8_t status1;
    uint8_t status2;
    uint32_t first;
    uint32_t end;
  };
  const Case cases[] = {
      {"w25q80", 0x00, 0x00, 0, 0},
      {"w25q80", 0x04, 0x00, 0xF0000, 0x100000},  // upper 64 KB
      {"w25q80", 0x0C, 0x00, 0xC0000, 0x100000},  // upper 256 KB
      {"w25q80", 0x24, 0x00, 0x00000, 0x10000},   // TB: lower 64 KB
      {"w25q80", 0x14, 0x00, 0, 0x100000},        // BP 5: all
      {"w25q80", 0x44, 0x00, 0xFF000, 0x100000},  // SEC: upper 4 KB
      {"w25q80", 0x6C, 0x00, 0x00000, 0x4000},    // SEC+TB, BP 3: lower 16 KB
      {"w25q80", 0x70, 0x00, 0x00000, 0x8000},    // SEC+TB, BP 4: lower 32 KB
      {"w25q80", 0x64, 0x40, 0x01000, 0x100000},  // CMP: all but the lower 4 KB
      {"w25q80", 0x1C, 0x40, 0, 0},               // CMP of all: none
      {"sst25vf080b", 0x1C, 0x00, 0, 0x100000},
      {"sst25vf080b", 0x08, 0x00, 0xE0000, 0x100000},
      {"sst25vf512a", 0x04, 0x00, 0xC000, 0x10000},  // upper quarter
      {"sst25vf512a", 0x0C, 0x00, 0, 0x10000},
      // Ranges the reference decodes: flashrom's decoder for W25X80 (TB, no SEC: bit 6
      // is ignored), Linux's generic BP model for the SST and BP3-0 parts (from the top).
      {"w25x80", 0x04, 0x00, 0xF0000, 0x100000},
      {"w25x80", 0x24, 0x00, 0x00000, 0x10000},
      {"w25x80", 0x64, 0x00, 0x00000, 0x10000},
      {"sst25vf064c", 0x04, 0x00, 0x7F0000, 0x800000},
      {"s25fl208k", 0x04, 0x00, 0xF0000, 0x100000},
      {"is25lp080d", 0x20, 0x00, 0x00000, 0x100000},  // BP3 alone: all
      {"pm25lv040", 0x0C, 0x00, 0x40000, 0x80000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.status1));
    const ProtectedRange range = ProtectedRangeOf(*FindFlashProfile(c.chip), c.status1, c.status2);
    if (c.first == c.end) {
      EXPECT_EQ(range.first, range.end);
    } else {
      EXPECT_EQ(range.first, c.first);
      EXPECT_EQ(range.end, c.end);
    }
  }
}

TEST(FlashChipSt, SectorEraseOpcodeIsNotAnEraseOnThisPart) {
  Rig rig("m25p80");
  rig.flash[0x1000] = 0x00;
  rig.flash[0x1FFFF] = 0x00;
  rig.flash[0x20000] = 0x00;
  rig.WriteEnable();
  rig.Tx(0x20, {0x00, 0x10, 0x00});
  EXPECT_FALSE(rig.chip.Busy());
  EXPECT_EQ(rig.flash[0x1000], 0x00);
  EXPECT_EQ(rig.Status(), 0x02);
  rig.Tx(0xD8, {0x01, 0x23, 0x45});
  EXPECT_TRUE(rig.chip.Busy());
  EXPECT_TRUE(rig.AllFF(0x10000, 0x20000));
  EXPECT_EQ(rig.flash[0x1000], 0x00);
  EXPECT_EQ(rig.flash[0x20000], 0x00);
  EXPECT_EQ(rig.trace.back(), "spi d8 @012345");
  EXPECT_EQ(rig.trace[1], "spi 20 w3");  // no address on this part
}

TEST(FlashChipTrace, OneLinePerTransactionWithCounters) {
  Rig rig;
  rig.Tx(0x9F, {}, 4);
  rig.Tx(0x0B, {0x01, 0x00, 0x00, 0x00}, 65536);
  rig.WriteEnable();
  std::vector<uint8_t> page(3 + 256, 0x00);
  page[1] = 0x1F;
  rig.Tx(0x02, page);
  rig.Tx(0x05, {}, 3);
  rig.Tx(0x03, {0x00, 0x00});  // an incomplete address is not shown as one
  rig.chip.Select();           // select and deselect with nothing between
  rig.chip.Deselect();
  EXPECT_EQ(rig.trace, (std::vector<std::string>{"spi 9f r4", "spi 0b @010000 w1 r65536", "spi 06",
                                                 "spi 02 @001f00 w256", "spi 05 r3", "spi 03 w2"}));
  EXPECT_EQ(rig.counters.spi_transactions, 6u);
  EXPECT_EQ(rig.counters.spi_bytes_written, 1u + 5u + 1u + 260u + 1u + 3u);
  EXPECT_EQ(rig.counters.spi_bytes_read, 4u + 65536u + 3u);
}

TEST(FlashChipFaults, InjectedFaultsShowOnTheChip) {
  {
    Rig rig;
    ASSERT_TRUE(rig.chip.ApplyFault("busy-stuck", nullptr));
    EXPECT_EQ(rig.Status(), 0x00);  // idle until a write cycle starts
    rig.WriteEnable();
    rig.Tx(0x20, {0x00, 0x00, 0x00});
    rig.clock.now_ns += 10000 * kMs;
    EXPECT_EQ(rig.Status() & 1, 1);
  }
  {
    Rig rig;
    ASSERT_TRUE(rig.chip.ApplyFault("wel-never-sets", nullptr));
    rig.flash[0] = 0;
    rig.Erase(0x20, 0);
    EXPECT_EQ(rig.Status(), 0x00);
    EXPECT_EQ(rig.flash[0], 0x00);
  }
  {
    Rig rig;
    ASSERT_TRUE(rig.chip.ApplyFault("wel-never-clears", nullptr));
    rig.Erase(0x20, 0);
    EXPECT_EQ(rig.Status(), 0x02);
    rig.Tx(0x04);
    EXPECT_EQ(rig.Status(), 0x02);
  }
  {
    Rig rig;
    ASSERT_TRUE(rig.chip.ApplyFault("bit-stuck:1234", nullptr));
    EXPECT_EQ(rig.chip.StuckBitAddress(), 0x1234u);
    rig.Program(0x1230, {0x00, 0x00, 0x00, 0x00, 0xF0, 0x00});
    EXPECT_EQ(rig.flash[0x1233], 0x00);
    EXPECT_EQ(rig.flash[0x1234], 0xF1);  // bit 0 should have gone to 0
    EXPECT_EQ(rig.flash[0x1235], 0x00);
  }
  {
    Rig rig;
    ASSERT_TRUE(rig.chip.ApplyFault("erase-leaves", "0x2345"));
    rig.flash[0x2345] = 0x00;
    rig.Erase(0x20, 0x2000);
    EXPECT_EQ(rig.flash[0x2345], 0xFE);
    EXPECT_EQ(rig.flash[0x2344], 0xFF);
  }
  // The seeded address is the same on every run and inside the array.
  Rig a, b, c;
  ASSERT_TRUE(a.chip.ApplyFault("bit-stuck-random", "7"));
  ASSERT_TRUE(b.chip.ApplyFault("bit-stuck-random:7", nullptr));
  ASSERT_TRUE(c.chip.ApplyFault("bit-stuck-random", "8"));
  EXPECT_EQ(a.chip.StuckBitAddress(), b.chip.StuckBitAddress());
  EXPECT_NE(a.chip.StuckBitAddress(), c.chip.StuckBitAddress());
  EXPECT_LT(a.chip.StuckBitAddress(), 0x100000u);
  a.Program(a.chip.StuckBitAddress(), {0x00});
  EXPECT_EQ(a.flash[a.chip.StuckBitAddress()], 0x01);

  struct Bad {
    const char* kind;
    const char* arg;
  };
  const Bad bad[] = {{"no-such-fault", nullptr}, {"bit-stuck", nullptr},     {"bit-stuck", "xyz"},
                     {"erase-leaves", "100000"}, {"bit-stuck-random", "1f"}, {nullptr, nullptr}};
  Rig rig;
  for (const Bad& f : bad) EXPECT_FALSE(rig.chip.ApplyFault(f.kind, f.arg));
}

}  // namespace
