// Every modelled part, judged by the public chip reference the profiles and
// the chip facts cite: the update puts the image in place and leaves the rest
// of the array alone, /PB writes the status bytes the reference gives, and
// neither the update, the dump nor /PB sends an opcode the part does not
// decode (the model would ignore it, as silicon does).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "flash/flash_traits.h"
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "support/chip_facts.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"
#include "support/tunnel_transactions.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

// The opcodes a profile decodes: the core every part has, and what its row
// adds.
std::set<int> CommandSet(const FlashProfile& profile) {
  std::set<int> set = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0B, 0x9F, 0xAB};
  if (profile.id.has_mfr_device_id) set.insert(0x90);
  if (profile.status->has_status2) set.insert(0x35);
  if (profile.status->arm != StatusArm::kNone) set.insert(0x50);
  if (profile.program.aai_opcode != 0) set.insert(profile.program.aai_opcode);
  for (const EraseOp& erase : profile.erases) {
    if (erase.opcode != 0) set.insert(erase.opcode);
  }
  return set;
}

std::set<int> SentOpcodes(const SimResult& r) {
  std::set<int> sent;
  for (const std::string& line : r.TraceLines("spi "))
    sent.insert(std::stoi(line.substr(4, 2), nullptr, 16));
  return sent;
}

// /PB's transactions from its write enable on (opcode, bytes written, bytes
// read) and its stalls, where the part can be protected.
struct ProtectSequence {
  std::vector<std::string> transactions;
  std::uint64_t stall_us;
};

// Read back as the model powers up again: status register 1 at the end of a
// run that only reads, status register 2 from the file the model keeps.
ProtectedRange RangeAfterPowerCycle(SimFixture& sim, const simtest::ChipFacts& chip) {
  const SimResult dump = sim.Run({"--chip", chip.name}, {"/S", "32"});
  EXPECT_EQ(dump.status, 0) << dump.console;
  const std::vector<std::uint8_t> file = sim.ReadFile("tolvi-sim-flash.bin.status");
  std::istringstream kept(std::string(file.begin(), file.end()));
  std::string name;
  unsigned status1 = 0, status2 = 0;
  kept >> name >> std::hex >> status1 >> status2;
  EXPECT_EQ(name, chip.name);
  return ProtectedRangeOf(*FindFlashProfile(chip.name), dump.flash_status,
                          static_cast<std::uint8_t>(status2));
}

// On every part: the update, the dump, then /PB, which protects the lowest
// sector so that it stays protected after a power cycle, as the model
// decodes the bits, and prints that range, or refuses before any status
// write; /PB never changes the flash, and the update's status clear lifts
// its protection again.
TEST(ChipReference, EveryPartTakesTheUpdateDumpAndProtectionWithOpcodesItDecodes) {
  constexpr size_t kImage = 0x10000;
  // Read status register 2, write SR1 and SR2 after the write enable alone
  // (0x50 would make the bits volatile), half a second after each byte and
  // twice more after; then SR1 (and SR2) read back once the part is idle.
  const std::vector<std::string> two_registers = {"06",    "05 r1", "05 r1",     "05 r1",
                                                  "35 r1", "05 r1", "01 w64,00", "05 r1",
                                                  "05 r1", "05 r1", "35 r1"};
  const std::map<std::string, ProtectSequence> sequences = {
      {"w25q80", {two_registers, 2000000}},
      {"gd25q80", {two_registers, 2000000}},
      {"w25x80", {{"06", "05 r1", "05 r1", "05 r1", "01 w24", "05 r1", "05 r1", "05 r1"}, 1000000}},
  };
  for (const simtest::ChipFacts& chip : simtest::AllChipFacts()) {
    SCOPED_TRACE(std::string(chip.name) + " (" + chip.source + "; " + chip.protect.source + ")");
    const FlashProfile* profile = FindFlashProfile(chip.name);
    ASSERT_NE(profile, nullptr);
    SimFixture sim;
    const std::vector<std::uint8_t> before = simtest::RandomBytes(chip.size_kb * 1024, 31);
    const std::vector<std::uint8_t> image = simtest::RandomBytes(kImage, 32);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    sim.WriteFile("ec.bin", image);
    const SimResult update = sim.Run({"--chip", chip.name}, {"ec.bin", "64"});
    EXPECT_EQ(update.status, 0) << update.console;
    ASSERT_EQ(update.flash.size(), before.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), update.flash.begin()))
        << "image not in place";
    EXPECT_TRUE(std::equal(before.begin() + kImage, before.end(), update.flash.begin() + kImage))
        << "flash beyond the image changed";
    const SimResult dump = sim.Run({"--chip", chip.name}, {"/S", "64"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(sim.ReadFile("XQRFW.bin"), image);

    const SimResult protect = sim.Run({"--chip", chip.name}, {"/PB"}, {.port_trace = true});
    EXPECT_EQ(protect.status, chip.protect.status != 0 ? 0 : 1) << protect.console;
    EXPECT_TRUE(protect.flash == update.flash) << "/PB changed the flash";
    EXPECT_THAT(protect.TraceLines("spi 20"), testing::IsEmpty());
    EXPECT_THAT(protect.TraceLines("spi 02"), testing::IsEmpty());
    EXPECT_FALSE(protect.spi_selected);
    EXPECT_FALSE(protect.ec_in_flash_mode);
    const std::string screen_top =
        " XQR Flash Utility Version : 2.3.0 Device ID        : " + chip.DeviceLine() + " " +
        chip.vendor + "\n\n";
    const auto sequence = sequences.find(chip.name);
    ASSERT_EQ(sequence != sequences.end(), chip.protect.status != 0) << "table and facts differ";
    std::vector<SimResult> runs = {update, dump, protect};
    if (chip.protect.status == 0) {
      EXPECT_THAT(protect.TraceLines("spi 01"), testing::IsEmpty());
      EXPECT_THAT(protect.TraceLines("spi 06"), testing::IsEmpty());
      EXPECT_THAT(protect.console, testing::HasSubstr(screen_top + "Protect BBK Area Refused:\n"));
      EXPECT_TRUE(
          protect.console.ends_with(".\n\n\rWhat to do now:\n\r"
                                    "The flash was not changed. It is safe to power off.\n\r"))
          << protect.console;
    } else {
      const simtest::TunnelView tunnel = simtest::DecodeTunnel(protect.port_trace);
      std::vector<std::string> expected = sequence->second.transactions;
      for (std::string& step : expected) {
        if (step.starts_with("01 w"))
          step = "01 w" + simtest::HexBytes(&chip.protect.status, 1) + step.substr(6);
      }
      EXPECT_EQ(simtest::Describe(simtest::FromFirst(tunnel.transactions, 0x06)), expected);
      EXPECT_EQ(protect.counters.stall_us, sequence->second.stall_us);
      const ProtectedRange range = RangeAfterPowerCycle(sim, chip);
      EXPECT_EQ(range.first, 0u);
      EXPECT_GE(range.end, 0x1000u);
      char shown[64];
      std::snprintf(shown, sizeof shown, "Protected 0x%06X-0x%06X\n", range.first, range.end - 1);
      const std::string tail = screen_top + "Protect BBK Area Done!\nRead Status Register = 0x" +
                               simtest::HexBytes(&chip.protect.status, 1) + "\n" + shown;
      EXPECT_TRUE(protect.console.ends_with(tail)) << protect.console;
      // The update's status clear lifts the protection and writes the image.
      const std::vector<std::uint8_t> next = simtest::RandomBytes(kImage, 33);
      sim.WriteFile("ec.bin", next);
      runs.push_back(sim.Run({"--chip", chip.name}, {"ec.bin", "64"}));
      EXPECT_EQ(runs.back().status, 0) << runs.back().console;
      EXPECT_TRUE(std::equal(next.begin(), next.end(), runs.back().flash.begin()));
    }

    const std::set<int> decoded = CommandSet(*profile);
    for (const SimResult& r : runs) {
      for (int opcode : SentOpcodes(r)) {
        EXPECT_TRUE(decoded.count(opcode)) << "opcode " << std::hex << opcode << " sent";
      }
    }
  }
}

// Where the program decodes a part's status bits, it reads every value as the
// model (and the reference's decoder both follow) does: every SR1 byte, with
// the complement bit clear and set.
TEST(ChipReference, ProgramAndModelDecodeTheStatusBitsAlike) {
  size_t decoded_parts = 0;
  for (const simtest::ChipFacts& chip : simtest::AllChipFacts()) {
    const std::array<uint8_t, 16> id = chip.Id();
    const IdForm form = chip.BySignature() ? IdForm::kSignature : IdForm::kJedec;
    const FlashTraits* row = nullptr;
    for (size_t i = 0; i < kFlashTraitsRows && row == nullptr; ++i) {
      if (bTraitsMatch(FlashTraitsTable[i], id.data(), form)) row = &FlashTraitsTable[i];
    }
    if (row == nullptr || !row->status_bits.decoded) continue;
    SCOPED_TRACE(chip.name);
    ++decoded_parts;
    const FlashProfile& profile = *FindFlashProfile(chip.name);
    for (unsigned status1 = 0; status1 < 256; ++status1) {
      for (uint8_t status2 : {0x00, 0x40}) {
        ProtectedSpan span;
        EXPECT_TRUE(bDecodeProtection(row->status_bits, chip.size_kb * 1024,
                                      static_cast<uint8_t>(status1), status2, &span));
        const ProtectedRange range =
            ProtectedRangeOf(profile, static_cast<uint8_t>(status1), status2);
        const bool empty = range.first == range.end;
        EXPECT_EQ(span.first == span.end, empty) << std::hex << status1 << " " << +status2;
        if (!empty) {
          EXPECT_EQ(span.first, range.first) << std::hex << status1 << " " << +status2;
          EXPECT_EQ(span.end, range.end) << std::hex << status1 << " " << +status2;
        }
      }
    }
  }
  EXPECT_EQ(decoded_parts, 3u);  // W25Q80, W25X80, GD25Q80
}

}  // namespace
