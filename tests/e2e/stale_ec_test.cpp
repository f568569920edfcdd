// Bytes left waiting on the EC's data port before 0xDC are drained, so they
// cannot pass for its acknowledgement and shift every tunnel byte after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

TEST(StaleEcOutput, UpdateDumpAndProtectionEndAsOnACleanEc) {
  const std::vector<std::uint8_t> image = simtest::RandomBytes(0x10000, 41);
  const std::vector<std::vector<std::string>> operations = {
      {"ec.bin", "64"}, {"/S", "64"}, {"/PB"}};
  for (const std::vector<std::string>& args : operations) {
    SimFixture clean;
    clean.WriteFile("ec.bin", image);
    const SimResult expected = clean.Run({}, args);
    ASSERT_EQ(expected.status, 0) << expected.console;
    for (const char* pending : {"1", "3"}) {
      SCOPED_TRACE(args[0] + " with " + pending + " stale bytes");
      SimFixture sim;
      sim.WriteFile("ec.bin", image);
      const SimResult r = sim.Run({"--ec-pending", pending}, args);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.console, expected.console);
      EXPECT_TRUE(r.flash == expected.flash) << "flash differs";
      EXPECT_EQ(sim.ReadFile("XQRFW.bin"), clean.ReadFile("XQRFW.bin"));
      EXPECT_FALSE(r.ec_in_flash_mode);
    }
  }
}

}  // namespace
