// What protects a board in the field: the /b backup that puts the flash
// back after a failed update, files written as root that follow no link and
// are never half written, and the progress a technician reads on the
// screen. (A wrong download is refused with the other images in
// frontend_dispatch_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;
namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Flashing the backup with the options of the failed update restores every
// byte the update erased. The stuck bit fails the update for good after it
// has erased and written; the restore runs without it.
TEST(Backup, FlashedWithTheSameOptionsRestoresTheFlashAfterAFailedUpdate) {
  const struct {
    const char* name;
    const char* chip;
    size_t image_size;
    std::vector<std::string> options;  // after "ec.bin SIZE"
    const char* stuck;                 // an address the failing block writes
    size_t backup_size;                // as far as the erase reaches
  } rows[] = {
      {"two blocks", "w25q80", 0x20000, {}, "10100", 0x20000},
      {"two blocks, /U", "w25q80", 0x20000, {"/U"}, "10100", 0x20000},
      {"boot block", "w25q80", 0x800, {"/BK"}, "100", 0x1000},
      {"main area", "w25q80", 0x7800, {"/Mn"}, "1100", 0xF000},
      {"at an offset", "w25q80", 0x1800, {"/O", "4000"}, "4100", 0x2000},
      {"64 KB erase", "m25p80", 0x2000, {}, "1000", 0x10000},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SimFixture sim;
    const std::vector<uint8_t> before = simtest::RandomBytes(0x100000, 9);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    sim.WriteFile("ec.bin", simtest::TestImage(row.image_size, 4));
    std::vector<std::string> update = {"ec.bin", "0", "/b", "old.bin"};
    update.insert(update.end(), row.options.begin(), row.options.end());
    const SimResult failed =
        sim.Run({"--chip", row.chip, "--fault", std::string("bit-stuck:") + row.stuck}, update);
    ASSERT_NE(failed.status, 0);
    ASSERT_TRUE(failed.flash != before) << "the update failed before it wrote";
    EXPECT_NE(failed.console.find("What the flash held before is in old.bin"), std::string::npos);
    EXPECT_EQ(sim.ReadFile("old.bin").size(), row.backup_size);

    std::vector<std::string> restore = {"old.bin", "0"};
    restore.insert(restore.end(), row.options.begin(), row.options.end());
    const SimResult restored = sim.Run({"--chip", row.chip}, restore);
    EXPECT_EQ(restored.status, 0) << restored.console;
    EXPECT_TRUE(restored.flash == before);
  }
}

// The dump and the backup go to a new file that takes the name only when it
// is whole: a link planted under the name is replaced, its target untouched,
// and a write that fails leaves the old file as it was and no stray file.
TEST(WrittenFiles, ReplaceALinkWithoutFollowingItAndNeverLeaveHalfAFile) {
  const std::vector<uint8_t> flash = simtest::RandomBytes(0x100000, 2);
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* file;
    size_t size;  // flash bytes from address 0 the file gets
  } rows[] = {
      {"dump", {"/S", "64"}, "XQRFW.bin", 0x10000},
      {"backup", {"ec.bin", "64", "/b", "old.bin"}, "old.bin", 0x10000},
  };
  for (const auto& row : rows) {
    for (const bool fail : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (fail ? ", write fails" : ", name is a link"));
      SimFixture sim;
      sim.WriteFile("tolvi-sim-flash.bin", flash);
      sim.WriteFile("ec.bin", simtest::TestImage(0x10000, 6));
      const std::string kept = "what the link points at\n";
      sim.WriteFile("target.txt", kept);
      if (fail) {
        sim.WriteFile(row.file, kept);
      } else {
        fs::create_symlink("target.txt", sim.Path(row.file));
      }
      std::vector<std::string> board;
      if (fail) board = {"--fault", "file-short:1000"};
      const SimResult r = sim.Run(board, row.args);
      EXPECT_EQ(sim.ReadFile("target.txt"), Bytes(kept));
      if (fail) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(sim.ReadFile(row.file), Bytes(kept));
        // The backup comes before the first erase.
        if (row.file == std::string("old.bin")) {
          EXPECT_TRUE(r.flash == flash);
        }
      } else {
        EXPECT_EQ(r.status, 0) << r.console;
        EXPECT_FALSE(fs::is_symlink(sim.Path(row.file)));
        const std::vector<uint8_t> written = sim.ReadFile(row.file);
        EXPECT_TRUE(written == std::vector<uint8_t>(flash.begin(), flash.begin() + row.size));
      }
      for (const auto& entry : fs::directory_iterator(sim.Dir())) {
        EXPECT_FALSE(entry.path().string().ends_with(".new")) << entry.path();
      }
    }
  }
}

// Tenths of a second the summary line states, or -1.
long long SummaryTenths(const std::string& line) {
  const size_t in = line.rfind(" in ");
  unsigned long long seconds = 0;
  unsigned tenth = 0;
  if (in == std::string::npos ||
      std::sscanf(line.c_str() + in, " in %llu.%u s.", &seconds, &tenth) != 2) {
    return -1;
  }
  return static_cast<long long>(seconds * 10 + tenth);
}

TEST(Progress, BlockScreensCountToTheTotalAndTheUpdateEndsWithOneSummary) {
  const std::vector<uint8_t> image = simtest::TestImage(0x20000, 3);
  std::vector<uint8_t> one_unit = image;  // one 4 KB erase unit of block 1 differs
  one_unit.resize(0x100000, 0xFF);
  one_unit[0x13005] ^= 0x41;
  std::vector<uint8_t> same = image;
  same.resize(0x100000, 0xFF);
  const struct {
    const char* name;
    std::vector<uint8_t> before;
    std::vector<std::string> args;
    const char* summary;  // up to the time
  } rows[] = {
      {"update",
       simtest::RandomBytes(0x100000, 1),
       {"ec.bin", "128"},
       "Done: 2 blocks, 131072 bytes written and verified"},
      {"/U, one unit",
       one_unit,
       {"ec.bin", "128", "/U"},
       "Done: 1 block, 4096 bytes written and verified,\n\r31 erase units unchanged,"},
      {"/U, nothing",
       same,
       {"ec.bin", "128", "/U"},
       "Nothing to write: the flash already holds the image."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SimFixture sim;
    sim.WriteFile("tolvi-sim-flash.bin", row.before);
    sim.WriteFile("ec.bin", image);
    const SimResult r = sim.Run({}, row.args);
    EXPECT_EQ(r.status, 0) << r.console;
    EXPECT_NE(r.console.find(" Block Number     : 0 of 2 \n\n"), std::string::npos);
    EXPECT_NE(r.console.find(" Block Number     : 1 of 2 \n\n"), std::string::npos);
    // The last lines (/U's count takes a second), and the only summary.
    const size_t at = r.console.rfind("\n\r" + std::string(row.summary, 5));
    ASSERT_NE(at, std::string::npos);
    const std::string line = r.console.substr(at + 2);
    EXPECT_EQ(line.rfind(row.summary, 0), 0u) << line;
    EXPECT_TRUE(line.ends_with("\n\r")) << line;
    EXPECT_EQ(r.console.find(row.summary), at + 2);
    if (line.rfind("Done:", 0) != 0) continue;
    // The board model's clock, which the summary reads, ran for the whole run.
    const long long run_tenths = static_cast<long long>(r.sim_time_ns / 100000000);
    const long long tenths = SummaryTenths(line);
    EXPECT_GE(tenths, run_tenths - 1) << line;
    EXPECT_LE(tenths, run_tenths) << line;
    EXPECT_GT(tenths, 0) << line;
  }
}

}  // namespace
