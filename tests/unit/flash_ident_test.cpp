// Identifying the flash behind the EC, and the ID and vendor lines shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "sim/flash/flash_profile.h"
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

struct IdentCase {
  const char* chip;
  std::string console;
  std::vector<std::string> trace;
  std::array<uint8_t, 16> id;
  ProgramKind program;  // of the row the read picked
  bool size_known;      // the ID tells the modelled chip's size
  uint32_t erase_unit;
};

// The read's console lines around the four JEDEC bytes it shows and, when it
// fell back to the signature, the sixteen bytes that read returned.
std::string IdentConsole(const std::string& jedec, const std::string& signature = "") {
  std::string text = "\nvEnterFollowMode\nSPIDeviceID= " + jedec + "\n";
  if (!signature.empty()) text += "\n " + signature + "\n\n\n";
  return text + "vExitFollowMode";
}

// A ready poll before each read; 0x9F, then 0xAB with its three dummy bytes.
const std::vector<std::string> kJedecOnly = {"spi 05 r1", "spi 9f r4"};
const std::vector<std::string> kWithSignature = {"spi 05 r1", "spi 9f r4", "spi 05 r1",
                                                 "spi ab w3 r16"};

TEST(FlashIdent, ReadsTheJedecIdOrFallsBackToTheSignature) {
  const IdentCase cases[] = {
      {"w25q80",
       IdentConsole("ef 40 14 0"),
       kJedecOnly,
       {0xEF, 0x40, 0x14},
       ProgramKind::kPages,
       true,
       0x1000},
      {"m25p80",
       IdentConsole("20 20 14 10"),
       kJedecOnly,
       {0x20, 0x20, 0x14, 0x10},
       ProgramKind::kPages,
       true,
       0x10000},
      {"xqr-a",
       IdentConsole("ff ff ff ff"),
       kJedecOnly,
       {0xFF, 0xFF, 0xFF, 0xFF},
       ProgramKind::kAaiWord,
       false,
       0x400},
      {"sst25vf512a",
       IdentConsole("0 0 0 0", "bf 48 bf 48 bf 48 bf 48 bf 48 bf 48 bf 48 bf 48"),
       kWithSignature,
       {0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF,
        0x48},
       ProgramKind::kAaiByte,
       true,
       0x1000},
      {"xqr",
       IdentConsole("0 0 0 0", "ff 58 51 52 4 0 10 0 0 0 0 0 0 0 0 1"),
       kWithSignature,
       {0xFF, 0x58, 0x51, 0x52, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01},
       ProgramKind::kAaiWord,
       true,
       0x400},
  };
  for (const IdentCase& c : cases) {
    FlashBench bench(c.chip);
    ASSERT_TRUE(bench.Valid()) << c.chip;
    FlashState.SPIDeviceID[0] = 0x55;  // cleared by the read
    ASSERT_EQ(bench.Call([] { vReadSPIDeviceID(); }), -1);
    EXPECT_EQ(bench.console, c.console) << c.chip;
    EXPECT_EQ(bench.trace, c.trace) << c.chip;
    EXPECT_EQ(std::vector<uint8_t>(FlashState.SPIDeviceID, FlashState.SPIDeviceID + 16),
              std::vector<uint8_t>(c.id.begin(), c.id.end()))
        << c.chip;
    EXPECT_EQ(rFlashTraits().program, c.program) << c.chip;
    EXPECT_EQ(FlashState.FlashCapacity, c.size_known ? bench.flash.size() : 0u) << c.chip;
    EXPECT_EQ(FlashState.EraseUnit, c.erase_unit) << c.chip;
    EXPECT_TRUE(bench.Idle()) << c.chip;
  }
}

// The traits row identification picks for each modelled chip, judged by the
// model's own table: the size is the chip's or unknown, and both erases the
// row sends are erases of the chip, of the size the row claims.
TEST(FlashTraits, EachModelledChipGetsItsSizeAndErasesTheModelDecodes) {
  std::vector<std::string> size_unknown;
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    const FlashProfile& profile = *FlashProfileAt(i);
    FlashBench bench(profile.name);
    ASSERT_EQ(bench.Call([] { vReadSPIDeviceID(); }), -1) << profile.name;
    if (FlashState.FlashCapacity == 0) {
      size_unknown.push_back(profile.name);
    } else {
      EXPECT_EQ(FlashState.FlashCapacity, profile.size) << profile.name;
    }
    const FlashTraits& traits = rFlashTraits();
    uint32_t smallest = UINT32_MAX;
    for (const EraseStep& step : {traits.block_erase, traits.sector_erase}) {
      const EraseOp* decoded = nullptr;
      for (const EraseOp& op : profile.erases) {
        if (op.size != 0 && op.opcode == step.opcode) decoded = &op;
      }
      ASSERT_NE(decoded, nullptr) << profile.name << " " << std::hex << +step.opcode;
      EXPECT_EQ(decoded->size, step.size) << profile.name;
      smallest = std::min(smallest, decoded->size);
    }
    EXPECT_EQ(FlashState.EraseUnit, smallest) << profile.name;
  }
  // Atmel's and PMC's codes are their own, the ISSI part has no row, and
  // the maker's "A type" answers all 0xFF.
  EXPECT_EQ(size_unknown,
            (std::vector<std::string>{"xqr-a", "at25sf081", "pm25lv040", "is25lp080d"}));
}

}  // namespace
