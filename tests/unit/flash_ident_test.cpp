// Identifying the flash behind the EC, and the ID and vendor lines shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "sim/flash/flash_profile.h"
#include "tests/support/chip_facts.h"
#include "tests/support/flash_bench.h"

namespace {

using flashtest::FlashBench;

struct VendorCase {
  uint8_t manufacturer;
  uint8_t last_id_byte;
  const char* line;
};

TEST(FlashVendor, ShowsTheVendorLineOfTheManufacturerByteAtRowFour) {
  const VendorCase cases[] = {
      {0xBF, 0, " SPI Vendor       : SST \n"},
      {0xEF, 0, " SPI Vendor       : Winbond \n"},
      {0x1F, 0, " SPI Vendor       : Atmel \n"},
      {0x20, 0, " SPI Vendor       : ST \n"},
      {0x01, 0, " SPI Vendor       : Spansion \n"},
      {0xC2, 0, " SPI Vendor       : MXIC \n"},
      {0x37, 0, " SPI Vendor       : AMIC \n"},
      {0x1C, 0, " SPI Vendor       : EON \n"},
      {0x8C, 0, " SPI Vendor       : ESMT \n"},
      {0xFF, 0, " SPI Vendor       : XQR A type\n"},
      {0xFF, 1, " SPI Vendor       : XQR \n"},
      {0xC8, 0, " SPI Vendor       : GigaDevice \n"},
      {0x7F, 0, " SPI Vendor       : PMCDevice \n"},
      {0x9D, 0, ""},
      {0x00, 0, ""},
  };
  FlashBench bench("w25q80");
  for (const VendorCase& c : cases) {
    bench.Clear();
    FlashState.SPIDeviceID[0] = c.manufacturer;
    FlashState.SPIDeviceID[15] = c.last_id_byte;
    vShowSpiVendor();
    EXPECT_EQ(bench.console, std::string("<1,4>") + c.line) << std::hex << +c.manufacturer;
    EXPECT_TRUE(bench.trace.empty());
  }
  // Rows of one manufacturer exclude each other: an ID built to match any
  // row shows exactly one vendor line.
  for (size_t i = 0; i < kFlashTraitsRows; ++i) {
    const FlashTraits& row = FlashTraitsTable[i];
    bench.Clear();
    std::fill(std::begin(FlashState.SPIDeviceID), std::end(FlashState.SPIDeviceID), 0);
    FlashState.SPIDeviceID[0] = row.manufacturer;
    if (row.device.kind == IdByteTest::kEqual)
      FlashState.SPIDeviceID[row.device.index] = row.device.value;
    if (row.device.kind == IdByteTest::kNotEqual)
      FlashState.SPIDeviceID[row.device.index] = static_cast<uint8_t>(row.device.value ^ 0x01);
    FlashState.SignatureId = row.form == IdForm::kSignature ? 1 : 0;
    vShowSpiVendor();
    EXPECT_EQ(std::count(bench.console.begin(), bench.console.end(), '\n'), 1)
        << i << bench.console;
  }
}

TEST(FlashVendor, DeviceIdLineShowsTheFirstFourIdBytesAtRowThree) {
  FlashBench bench("w25q80");
  bench.SetId({0xEF, 0x40, 0x14, 0x00, 0x77});
  vShowDeviceId();
  EXPECT_EQ(bench.console, "<1,3> Device ID        : ef 40 14 0 ");
}

// Identification of every modelled part, judged by its expectation row: the
// console lines around the four JEDEC bytes and, when 0x9F answered zeros,
// the signature read; the ID bytes kept; the vendor line; and the traits the
// row stands for. The erases are also judged by the model's own table: both
// are erases of the chip, of the size the traits claim.
TEST(FlashIdent, EveryModelledPartIsReadByJedecIdOrSignatureAndGetsItsTraits) {
  // A ready poll before each read; 0x9F, then 0xAB with its three dummy bytes.
  const std::vector<std::string> jedec_only = {"spi 05 r1", "spi 9f r4"};
  const std::vector<std::string> with_signature = {"spi 05 r1", "spi 9f r4", "spi 05 r1",
                                                   "spi ab w3 r16"};
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    const FlashProfile& profile = *FlashProfileAt(i);
    SCOPED_TRACE(profile.name);
    const simtest::ChipFacts* facts = simtest::FindChipFacts(profile.name);
    ASSERT_NE(facts, nullptr) << "no expectation row";
    FlashBench bench(profile.name);
    ASSERT_TRUE(bench.Valid());
    FlashState.SPIDeviceID[0] = 0x55;  // cleared by the read
    ASSERT_EQ(bench.Call([] { vReadSPIDeviceID(); }), -1);
    EXPECT_EQ(bench.console,
              "\nvEnterFollowMode\nSPIDeviceID=" + facts->IdLog() + "\nvExitFollowMode");
    EXPECT_EQ(bench.trace, facts->BySignature() ? with_signature : jedec_only);
    const std::array<uint8_t, 16> id = facts->Id();
    EXPECT_TRUE(std::equal(id.begin(), id.end(), FlashState.SPIDeviceID));
    EXPECT_TRUE(bench.Idle());

    const FlashTraits& traits = rFlashTraits();
    EXPECT_EQ(traits.program, facts->program);
    EXPECT_EQ(traits.enable_write_status, facts->write_status_enable);
    EXPECT_EQ(traits.protect.status, facts->protect.status);
    EXPECT_EQ(traits.status_bits.second_status, facts->protect.second_status);
    EXPECT_EQ(FlashState.FlashCapacity, facts->size_from_id ? facts->size_kb * 1024 : 0u);
    EXPECT_EQ(std::min(traits.block_erase.size, traits.sector_erase.size), facts->EraseUnit());
    const std::pair<EraseStep, simtest::ChipErase> erases[] = {
        {traits.block_erase, facts->block_erase}, {traits.sector_erase, facts->sector_erase}};
    for (const auto& [step, expected] : erases) {
      EXPECT_EQ(step.opcode, expected.opcode);
      EXPECT_EQ(step.size, expected.size);
      EXPECT_EQ(step.step, expected.step);
      const EraseOp* decoded = nullptr;
      for (const EraseOp& op : profile.erases) {
        if (op.size != 0 && op.opcode == step.opcode) decoded = &op;
      }
      ASSERT_NE(decoded, nullptr) << std::hex << +step.opcode;
      EXPECT_EQ(decoded->size, step.size);
    }

    bench.Clear();
    vShowSpiVendor();
    EXPECT_EQ(bench.console, std::string("<1,4>") + facts->vendor);
  }
}

}  // namespace
