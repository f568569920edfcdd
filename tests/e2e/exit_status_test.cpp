// At every end of a run the exit status, the byte that took the EC out of
// flash mode and the "What to do now:" paragraph must agree with what the
// flash file holds: 0 done, 1 nothing changed (safe to power off), 2 the
// flash changed and is not complete or the EC kept in flash mode (power on,
// run again). One row per way a run ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

constexpr size_t kImageSize = 0x20000;

// What the flash file holds afterwards, against the one before (random
// bytes) and the image.
enum class Flash {
  kUnchanged,
  kImage,    // the image at 0, the rest as before
  kBlock0,   // block 0 holds the image, block 1 neither image nor what it held
  kChanged,  // something changed (a run cut off at an unknown point)
};

struct EndCase {
  const char* name;
  std::vector<std::string> board;
  std::vector<std::string> args;
  bool starts_with_image;  // the flash holds the image before the run
  int status;
  // The last byte written to port 0x66 when it was a leave command, from the
  // port trace; "" when flash mode was never entered or never left.
  std::string leave;
  // Lines the console holds after the failure, advice included; no
  // paragraph at all when `advice` is false.
  bool advice;
  std::vector<std::string> says;
  Flash flash;
};

const std::string kSafe = "The flash was not changed. It is safe to power off.";
const std::string kService =
    "If it fails again, keep the power on and get the board to service, where";
const std::string kNoReset = "The EC was not reset: it does not restart from the incomplete flash.";

std::string LastEcCommand(const SimResult& r) {
  std::string last;
  for (const std::string& line : r.port_trace) {
    if (line.rfind("out 66 ", 0) == 0) last = line.substr(7);
  }
  return last == "fe" || last == "fc" ? last : "";
}

TEST(ExitStatus, EveryEndOfARunSaysWhetherTheBoardMayBePoweredOff) {
  // One row per line: name, board, arguments, flash starts with the image,
  // status, leave command, advice, lines said, flash afterwards.
  // clang-format off
  const EndCase cases[] = {
      // Refusals before the ports; the refusal tables in frontend_scan_test
      // and frontend_dispatch_test hold each one's whole text (a size
      // mismatch, an unknown option, a missing image, undecoded EC ports).
      {"no operation", {}, {"/k"}, false, 1, "", false, {"Flash Update Fail!"}, Flash::kUnchanged},
      {"usage", {}, {}, false, 0, "", false, {}, Flash::kUnchanged},
      {"help", {}, {"/?"}, false, 0, "", false, {}, Flash::kUnchanged},
      // A comparison's verdict keeps its status and prints no advice.
      {"version not newer", {}, {"/VB", "01A"}, false, 1, "", false, {}, Flash::kUnchanged},
      {"/D finds a difference", {}, {"ec.bin", "128", "/D"}, false, 1, "fc", false, {},
       Flash::kUnchanged},
      // Failures before the first erase: nothing new to reset the EC into.
      {"update, flash busy before its first erase", {"--fault", "busy-stuck"}, {"ec.bin", "128"},
       false, 1, "fc", true, {"The flash chip stayed busy.", kSafe}, Flash::kUnchanged},
      {"dump, the EC's answers lost", {"--fault", "ec-no-obf"}, {"/S", "64"},
       false, 1, "fe", true, {"The EC stopped answering.", kSafe}, Flash::kUnchanged},
      {"EC RAM version, the EC's answers lost", {"--fault", "ec-no-obf"}, {"/VC"},
       false, 1, "", true, {"The EC stopped answering.", kSafe}, Flash::kUnchanged},
      // Failures after writes: never reset onto the incomplete flash, /j or not.
      {"verify of block 1 fails for good", {"--fault", "bit-stuck:10005"}, {"ec.bin", "128"},
       false, 2, "fc", true,
       {"Block 0 was written and verified.", "Block 1 (flash address 0x010000) is incomplete.",
        kNoReset, "Do not power off or reboot the machine: the EC may not start again.",
        "Run the same command again; it rewrites what is incomplete.", kService, "file ec.bin."},
       Flash::kBlock0},
      {"the same under /U", {"--fault", "bit-stuck:10005"}, {"ec.bin", "128", "/U"},
       false, 2, "fc", true,
       {"Block 1 (flash address 0x010000) is incomplete.", kNoReset, kService}, Flash::kBlock0},
      {"write test, flash busy after its erase", {"--fault", "busy-stuck"}, {"/T"},
       false, 2, "fc", true,
       {"The flash chip stayed busy.", "The write test's sector at 0x000000 is incomplete.",
        "Then flash the EC image: the write test does not restore it.", kService},
       Flash::kChanged},
      {"EC stops taking bytes mid-update", {"--fault", "ec-ibf-stuck:5000"}, {"ec.bin", "128"},
       false, 2, "", true,
       {"The EC stopped answering.", "The EC may still be in flash mode.", kService},
       Flash::kChanged},
      // A failure after the work was done: the flash holds the image.
      {"keyboard not given back", {"--fault", "kbc-ibf-stuck:2"}, {"ec.bin", "128"},
       false, 2, "fe", true,
       {"The keyboard controller stopped answering.",
        "Every block was written and verified: the EC flash holds the whole image.",
        "Do not power off yet: run the same command again, so that the EC leaves", kService},
       Flash::kImage},
      // Done.
      {"update", {}, {"ec.bin", "128"}, false, 0, "fe", false, {}, Flash::kImage},
      {"update under /j", {}, {"ec.bin", "128", "/j"}, false, 0, "fc", false, {}, Flash::kImage},
      {"/U that writes", {}, {"ec.bin", "128", "/U"}, false, 0, "fe", false, {}, Flash::kImage},
      {"/U that writes nothing", {}, {"ec.bin", "128", "/U"}, true, 0, "fc", false, {},
       Flash::kImage},
      {"/D that finds the image", {}, {"ec.bin", "128", "/D"}, true, 0, "fc", false, {},
       Flash::kImage},
  };
  // clang-format on
  const std::vector<uint8_t> image = simtest::TestImage(kImageSize, 3);
  const std::vector<uint8_t> random = simtest::RandomBytes(0x100000, 8);
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture sim;
    sim.WriteFile("ec.bin", image);
    std::vector<uint8_t> before = random;
    if (c.starts_with_image) std::copy(image.begin(), image.end(), before.begin());
    sim.WriteFile("tolvi-sim-flash.bin", before);
    std::vector<std::string> board = {"--chip", "w25q80"};
    board.insert(board.end(), c.board.begin(), c.board.end());
    const SimResult r = sim.Run(board, c.args, {.port_trace = true});

    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(LastEcCommand(r), c.leave);
    EXPECT_EQ(r.ec_resets, c.leave == "fe" ? 1u : 0u);
    EXPECT_EQ(r.ec_in_flash_mode, c.status == 2 && c.leave.empty());
    const size_t advice = r.console.find("\n\rWhat to do now:\n\r");
    EXPECT_EQ(advice != std::string::npos, c.advice) << r.console;
    // Each a whole line: a line end or the end of the output after it.
    for (const std::string& line : c.says)
      EXPECT_NE((r.console + "\n").find(line + "\n"), std::string::npos) << line << "\n"
                                                                         << r.console;
    // The two verdicts never meet.
    const bool safe = r.console.find("It is safe to power off") != std::string::npos;
    const bool keep_on = r.console.find("Do not power off") != std::string::npos;
    EXPECT_EQ(safe, c.advice && c.status == 1);
    EXPECT_EQ(keep_on, c.status == 2);

    ASSERT_EQ(r.flash.size(), before.size());
    const auto image_at_0 = [&](size_t size) {
      return std::equal(image.begin(), image.begin() + size, r.flash.begin());
    };
    const bool rest_as_before =
        std::equal(r.flash.begin() + kImageSize, r.flash.end(), before.begin() + kImageSize);
    switch (c.flash) {
      case Flash::kUnchanged:
        EXPECT_TRUE(r.flash == before);
        break;
      case Flash::kImage:
        EXPECT_TRUE(image_at_0(kImageSize) && rest_as_before);
        break;
      case Flash::kBlock0:
        EXPECT_TRUE(image_at_0(0x10000) && rest_as_before);
        EXPECT_FALSE(std::equal(r.flash.begin() + 0x10000, r.flash.begin() + kImageSize,
                                before.begin() + 0x10000));
        EXPECT_FALSE(image_at_0(kImageSize));
        break;
      case Flash::kChanged:
        EXPECT_FALSE(r.flash == before);
        break;
    }
  }
}

}  // namespace
