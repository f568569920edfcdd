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

// A dump and what it leaves: XQRFW.bin holding the flash from address 0, the
// flash as it was, the board out of flash mode. A file write that fails or
// comes up short stops the read there, however much more was asked for, and
// no part of that dump takes the file's name.
struct DumpRun {
  const char* name;
  std::vector<std::string> board;
  std::vector<std::string> args;
  int status;
  size_t read;   // bytes of the one read from address 0
  size_t saved;  // bytes in XQRFW.bin; 0: no file
  std::string console;
  std::vector<std::string> ec_and_kbc;  // the trace's EC and KBC lines
};

const std::string kIdent = "\nvEnterFollowMode\nSPIDeviceID= ef 40 14 0\nvExitFollowMode";
const std::string kSave = "Save FW to XQRFW.bin : ";
const std::string kSaveFail =
    "-- Save Fail!\n\rWhat to do now:\n\rThe flash was not changed. It is safe to power off.\n\r";

TEST(Dump, CopiesWhole32KChunksUntilAFileWriteFailsAndLeavesTheBoardAsItWas) {
  const std::vector<std::string> frame = {"ec dc -> 33", "ec fe", "kbc ae"};
  // clang-format off
  const DumpRun runs[] = {
      {"64K", {}, {"/S", "64"}, 0, 0x10000, 0x10000,
       kSave + kIdent + Marks(12) + "-- Save OK!", frame},
      {"rounded down, no reset", {}, {"/S", "100", "/j"}, 0, 0x18000, 0x18000,
       kSave + kIdent + Marks(18) + "-- Save OK!", {"ec dc -> 33", "ec fc", "kbc ae"}},
      {"whole chip, no keyboard commands", {}, {"/S", "1024", "/k"}, 0, 0x100000, 0x100000,
       kSave + kIdent + Marks(192) + "-- Save OK!", {"ec dc -> 33", "ec fe"}},
      // A wrong acknowledgement is reported and the dump goes on.
      {"wrong acknowledgement", {"--ec-ack", "32"}, {"/S", "32"}, 0, 0x8000, 0x8000,
       kSave + "EC ACK Fail. \n\n" + kIdent + Marks(6) + "-- Save OK!",
       {"ec dc -> 32", "ec fe", "kbc ae"}},
      {"first chunk's write fails", {"--fault", "file-short:0"}, {"/S", "64"}, 1, 0x8000, 0,
       kSave + kIdent + Marks(6) + kSaveFail, frame},
      {"second chunk a byte short", {"--fault", "file-short:65535"}, {"/S", "64"}, 1, 0x10000,
       0, kSave + kIdent + Marks(12) + kSaveFail, frame},
      {"1M asked, second chunk short", {"--fault", "file-short:40000"}, {"/S", "1024"}, 1, 0x10000,
       0, kSave + kIdent + Marks(12) + kSaveFail, frame},
  };
  // clang-format on
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
    EXPECT_EQ(r.status, run.status);
    EXPECT_EQ(r.console, run.console);
    ASSERT_EQ(sim.FileExists("XQRFW.bin"), run.saved != 0);
    EXPECT_TRUE(sim.ReadFile("XQRFW.bin") ==
                std::vector<uint8_t>(flash.begin(), flash.begin() + static_cast<long>(run.saved)));
    // Reading leaves the flash as it was.
    EXPECT_TRUE(r.flash == flash);
    std::vector<std::string> frame = r.TraceLines("ec ");
    const std::vector<std::string> kbc = r.TraceLines("kbc ");
    frame.insert(frame.end(), kbc.begin(), kbc.end());
    EXPECT_EQ(frame, run.ec_and_kbc);
    // One read from address 0 serves the whole dump.
    const std::string read =
        "spi 0b @000000 w1" + (run.read != 0 ? " r" + std::to_string(run.read) : "");
    EXPECT_EQ(r.TraceLines("spi 0b"), std::vector<std::string>{read});
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
  }
  // The harness's own flash file is never cut short.
  SimFixture sim;
  sim.Run({"--fault", "file-short:0"}, {"/S", "32"});
  EXPECT_EQ(sim.ReadFile("tolvi-sim-flash.bin").size(), 0x100000u);
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

}  // namespace
