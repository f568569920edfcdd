// Reading the flash back into XQRFW.bin through the harness.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::Marks;
using simtest::SimFixture;
using simtest::SimResult;

struct DumpRun {
  const char* name;
  std::vector<std::string> board;
  std::vector<std::string> args;
  size_t bytes;  // dumped from address 0
  std::string console;
  std::vector<std::string> ec_and_kbc;  // the trace's EC and KBC lines
};

const std::string kIdent = "\nvEnterFollowMode\nSPIDeviceID= ef 40 14 0\nvExitFollowMode";

TEST(Dump, CopiesWhole32KChunksOfTheFlashAndLeavesTheBoardAsItWas) {
  const DumpRun runs[] = {
      {"64K",
       {},
       {"/S", "64"},
       0x10000,
       "Save FW to XQRFW.bin : " + kIdent + Marks(12) + "-- Save OK!",
       {"ec dc -> 33", "ec fe", "kbc ae"}},
      {"rounded down, no reset",
       {},
       {"/S", "100", "/j"},
       0x18000,
       "Save FW to XQRFW.bin : " + kIdent + Marks(18) + "-- Save OK!",
       {"ec dc -> 33", "ec fc", "kbc ae"}},
      {"whole chip, no keyboard commands",
       {},
       {"/S", "1024", "/k"},
       0x100000,
       "Save FW to XQRFW.bin : " + kIdent + Marks(192) + "-- Save OK!",
       {"ec dc -> 33", "ec fe"}},
      // A wrong acknowledgement is reported and the dump goes on.
      {"wrong acknowledgement",
       {"--ec-ack", "32"},
       {"/S", "32"},
       0x8000,
       "Save FW to XQRFW.bin : EC ACK Fail. \n\n" + kIdent + Marks(6) + "-- Save OK!",
       {"ec dc -> 32", "ec fe", "kbc ae"}},
  };
  std::vector<uint8_t> flash(0x100000);
  for (size_t i = 0; i < flash.size(); ++i) {
    flash[i] = static_cast<uint8_t>((i * 131) ^ (i >> 8) ^ (i >> 16));
  }
  for (const DumpRun& run : runs) {
    SCOPED_TRACE(run.name);
    SimFixture sim;
    sim.WriteFile("tolvi-sim-flash.bin", flash);
    std::vector<std::string> board = {"--chip", "w25q80"};
    board.insert(board.end(), run.board.begin(), run.board.end());
    const SimResult r = sim.Run(board, run.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, run.console);
    ASSERT_TRUE(sim.FileExists("XQRFW.bin"));
    EXPECT_TRUE(sim.ReadFile("XQRFW.bin") ==
                std::vector<uint8_t>(flash.begin(), flash.begin() + static_cast<long>(run.bytes)));
    // Reading leaves the flash as it was.
    EXPECT_TRUE(r.flash == flash);
    std::vector<std::string> frame = r.TraceLines("ec ");
    const std::vector<std::string> kbc = r.TraceLines("kbc ");
    frame.insert(frame.end(), kbc.begin(), kbc.end());
    EXPECT_EQ(frame, run.ec_and_kbc);
    // One read from address 0 serves the whole dump.
    const std::string read =
        "spi 0b @000000 w1" + (run.bytes != 0 ? " r" + std::to_string(run.bytes) : "");
    EXPECT_EQ(r.TraceLines("spi 0b"), std::vector<std::string>{read});
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
  }
}

TEST(Dump, AnUpdatedImageComesBackUnchanged) {
  SimFixture sim;
  const std::vector<uint8_t> image = simtest::TestImage(0x18000, 11);
  sim.WriteFile("ec.bin", image);
  ASSERT_EQ(sim.Run({"--chip", "gd25q80"}, {"ec.bin", "96"}).status, 0);
  const SimResult r = sim.Run({"--chip", "gd25q80"}, {"/S", "96"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(sim.ReadFile("XQRFW.bin") == image);
}

TEST(Dump, AShortFileWriteIsReportedAndTheFrameStillClosesFlashMode) {
  // The first chunk's write fails, or the second comes up short; the read
  // stops there, however much more was asked for.
  struct Case {
    const char* fault;
    const char* size_k;
    size_t bytes_on_disk;
    size_t chunks_read;
  };
  const Case cases[] = {{"file-short:0", "64", 0, 1},
                        {"file-short:65535", "64", 0xFFFF, 2},
                        {"file-short:40000", "1024", 40000, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    SimFixture sim;
    const SimResult r = sim.Run({"--fault", c.fault}, {"/S", c.size_k});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, "Save FW to XQRFW.bin : " + kIdent + Marks(6 * c.chunks_read) +
                             "-- Save Fail!\n\rWhat to do now:\n\rThe flash was not changed.\n\r");
    EXPECT_EQ(sim.ReadFile("XQRFW.bin").size(), c.bytes_on_disk);
    EXPECT_EQ(
        r.TraceLines("spi 0b"),
        std::vector<std::string>{"spi 0b @000000 w1 r" + std::to_string(c.chunks_read * 0x8000)});
    std::vector<std::string> frame = r.TraceLines("ec ");
    const std::vector<std::string> kbc = r.TraceLines("kbc ");
    frame.insert(frame.end(), kbc.begin(), kbc.end());
    EXPECT_EQ(frame, (std::vector<std::string>{"ec dc -> 33", "ec fe", "kbc ae"}));
    EXPECT_FALSE(r.ec_in_flash_mode);
  }
  // The harness's own flash file is never cut short.
  SimFixture sim;
  sim.Run({"--fault", "file-short:0"}, {"/S", "32"});
  EXPECT_EQ(sim.ReadFile("tolvi-sim-flash.bin").size(), 0x100000u);
}

}  // namespace
