// Identifying the flash behind the EC, and the ID and vendor lines shown.
#include <gtest/gtest.h>

#include <array>

#include "flash/vendor_table.h"
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
  // Twelve rows, each manufacturer once: the walk prints one line per match.
  ASSERT_EQ(kSpiVendorRows, 12u);
  for (size_t i = 0; i < kSpiVendorRows; ++i) {
    for (size_t j = i + 1; j < kSpiVendorRows; ++j) {
      EXPECT_NE(SpiVendorTable[i].Manufacturer, SpiVendorTable[j].Manufacturer);
    }
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
  uint8_t aai_byte_mode;  // after the read; it starts at 7
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
      {"w25q80", IdentConsole("ef 40 14 0"), kJedecOnly, {0xEF, 0x40, 0x14}, 7},
      {"m25p80", IdentConsole("20 20 14 10"), kJedecOnly, {0x20, 0x20, 0x14, 0x10}, 7},
      {"xqr-a", IdentConsole("ff ff ff ff"), kJedecOnly, {0xFF, 0xFF, 0xFF, 0xFF}, 7},
      {"sst25vf512a",
       IdentConsole("0 0 0 0", "bf 48 bf 48 bf 48 bf 48 bf 48 bf 48 bf 48 bf 48"),
       kWithSignature,
       {0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF, 0x48, 0xBF,
        0x48},
       1},
      {"xqr",
       IdentConsole("0 0 0 0", "ff 58 51 52 4 0 10 0 0 0 0 0 0 0 0 1"),
       kWithSignature,
       {0xFF, 0x58, 0x51, 0x52, 0x04, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01},
       0},
  };
  for (const IdentCase& c : cases) {
    FlashBench bench(c.chip);
    ASSERT_TRUE(bench.Valid()) << c.chip;
    FlashState.AaiByteMode = 7;
    FlashState.SPIDeviceID[0] = 0x55;  // cleared by the read
    ASSERT_EQ(bench.Call([] { vReadSPIDeviceID(); }), -1);
    EXPECT_EQ(bench.console, c.console) << c.chip;
    EXPECT_EQ(bench.trace, c.trace) << c.chip;
    EXPECT_EQ(std::vector<uint8_t>(FlashState.SPIDeviceID, FlashState.SPIDeviceID + 16),
              std::vector<uint8_t>(c.id.begin(), c.id.end()))
        << c.chip;
    EXPECT_EQ(FlashState.AaiByteMode, c.aai_byte_mode) << c.chip;
    EXPECT_TRUE(bench.Idle()) << c.chip;
  }
}

}  // namespace
