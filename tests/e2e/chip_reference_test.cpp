// Every modelled part, judged by the public chip reference the profiles and
// the chip facts cite: the update puts the image in place and leaves the rest
// of the array alone, and neither the update, the dump nor /PB sends an
// opcode the part does not decode (the model would ignore it, as silicon
// does).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "flash/flash_traits.h"
#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "support/chip_facts.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"

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

TEST(ChipReference, EveryPartTakesTheUpdateDumpAndProtectionWithOpcodesItDecodes) {
  constexpr size_t kImage = 0x10000;
  for (const simtest::ChipFacts& chip : simtest::AllChipFacts()) {
    SCOPED_TRACE(std::string(chip.name) + " (" + chip.source + ")");
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
    const SimResult protect = sim.Run({"--chip", chip.name}, {"/PB"});
    EXPECT_EQ(protect.status, chip.protect.status != 0 ? 0 : 1) << protect.console;

    const std::set<int> decoded = CommandSet(*profile);
    for (const SimResult* r : {&update, &dump, &protect}) {
      for (int opcode : SentOpcodes(*r)) {
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
