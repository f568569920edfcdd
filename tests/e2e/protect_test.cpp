// Boot-block protection (/PB): its screen and frame, and what the protection
// does to later runs while the board stays powered (the EC is never reset by
// /PB). The status bytes it writes on each part are judged with the chip
// reference, in chip_reference_test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "support/board_host.h"
#include "support/chip_facts.h"
#include "support/frame_checks.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"
#include "support/tunnel_transactions.h"
#include "tolvi.h"

namespace {

using simtest::Describe;
using simtest::RandomBytes;
using simtest::SimFixture;
using simtest::SimResult;

constexpr std::uint8_t kWriteEnable = 0x06;

TEST(BootBlockProtection, FrameIdentifiesTheFlashAndShowsItOnAFreshScreen) {
  SimResult r = simtest::RunSim({}, {"/PB"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.console,
            "Send KB Cmd 0xAD \n\nSend EC Cmd 0xDC \n\nRead EC Data \n\nEC ACK OK. \n\n"
            "vReadSPIDeviceID start\n\n"
            "\nvEnterFollowMode\nSPIDeviceID= ef 40 14 0\nvExitFollowMode"
            "vReadSPIDeviceID end\n\n"
            " XQR Flash Utility Version : 2.3.0"
            " Device ID        : ef 40 14 0 "
            " SPI Vendor       : Winbond \n"
            "\n\nProtect BBK Area Done!\nRead Status Register = 0x64\n"
            "Protected 0x000000-0x000FFF\n");
  // The screen was cleared before the banner; banner, ID and vendor sit at
  // rows 1, 3 and 4 from column 1.
  EXPECT_EQ(r.screen[0], "");
  EXPECT_EQ(r.screen[1], "  XQR Flash Utility Version : 2.3.0");
  EXPECT_EQ(r.screen[2], "");
  EXPECT_EQ(r.screen[3], "  Device ID        : ef 40 14 0");
  EXPECT_EQ(r.screen[4], "  SPI Vendor       : Winbond");
  EXPECT_THAT(r.ScreenText(), testing::HasSubstr("Protect BBK Area Done!"));
  EXPECT_THAT(r.ScreenText(), testing::HasSubstr("Read Status Register = 0x64"));
}

TEST(BootBlockProtection, FrameLeavesWithoutResetAndHonoursKbcAndPreEnterOptions) {
  for (const simtest::FrameCase& c : simtest::FrameCases("/PB")) {
    SCOPED_TRACE(c.name);
    SimResult r = simtest::RunSim(c.board, c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
    EXPECT_EQ(r.TraceLines("ec "), c.ec);
    EXPECT_TRUE(r.console.starts_with(simtest::FrameStart(c.ack_ok) + "vReadSPIDeviceID start\n\n"))
        << r.console;
    EXPECT_EQ(r.flash_status, 0x64);  // protected whatever the acknowledgement said
    EXPECT_EQ(r.ec_resets, 0u);
    EXPECT_TRUE(r.keyboard_enabled);
  }
}

// One board that stays powered across several runs of the program, as a
// real machine does between two commands at the shell: the flash chip keeps
// its status registers (volatile bits included) from one run to the next.
class PoweredBoard : public simtest::BoardHost {
 public:
  PoweredBoard(const char* chip, std::vector<std::uint8_t> contents, bool port_trace = false)
      : BoardHost(chip, std::move(contents),
                  simtest::kTrace | (port_trace ? simtest::kPortTrace : simtest::kNoTrace)) {
    EXPECT_TRUE(Valid()) << chip;
    console_sink_.context = &console;
    console_sink_.write_narrow = [](void* context, const char* text, size_t count) {
      static_cast<std::string*>(context)->append(text, count);
    };
    console_sink_.write_wide = [](void* context, const char16_t* text, size_t count) {
      for (size_t i = 0; i < count; ++i)
        static_cast<std::string*>(context)->push_back(text[i] < 0x80 ? static_cast<char>(text[i])
                                                                     : '#');
    };
  }

  // Sets both status registers the way a Winbond part takes volatile values
  // (0x50, then 0x01 with two bytes), as other software on the machine might
  // have left them before the program runs.
  void SetVolatileStatus(std::uint8_t status1, std::uint8_t status2) {
    SetStatus({0x50}, {status1, status2});
  }
  // The same after the enables `arm` (0x06, 0x50 or both), with the data
  // bytes the part takes; the write's cycle is waited out.
  void SetStatus(const std::vector<std::uint8_t>& arm, const std::vector<std::uint8_t>& data) {
    EXPECT_TRUE(EnterFlashMode());
    for (std::uint8_t opcode : arm) EXPECT_TRUE(Follow(0x01) && Follow(0x02, opcode));
    EXPECT_TRUE(Follow(0x01) && Follow(0x02, 0x01));
    for (std::uint8_t value : data) EXPECT_TRUE(Follow(0x03, value));
    EXPECT_TRUE(Follow(0x05));
    clock.now_ns += 1'000'000'000;
    EXPECT_TRUE(EcCommand(0xFC));
  }

  // Runs the program once in directory dir (the program takes an entry that
  // begins with '/' for an option, so files are named relative to it); trace
  // and console hold this run's output only.
  int Run(std::vector<std::string> args, const std::string& dir = ".") {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    trace.clear();
    ports.clear();
    console.clear();
    args.insert(args.begin(), "tolvi");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Attach(&console_sink_);
    const int status = tolvi::main(static_cast<int>(args.size()), argv.data());
    Detach();
    std::filesystem::current_path(previous);
    return status;
  }

  std::uint8_t Status() const { return chip.StatusRegister(); }

  std::string console;

 private:
  ConsoleSink console_sink_{};
};

TEST(BootBlockProtection, ProtectedBootSectorRefusesTheWriteTestOnAWinbondPart) {
  const std::vector<std::uint8_t> before = RandomBytes(1024 * 1024, 21);
  // Control: the same board without /PB lets /T change sector 0.
  PoweredBoard unprotected("w25q80", before);
  ASSERT_EQ(unprotected.Run({"/T"}), 0);
  EXPECT_EQ(unprotected.flash[0], 0x88);
  EXPECT_EQ(unprotected.flash[0x100], 0xFF);

  PoweredBoard board("w25q80", before);
  ASSERT_EQ(board.Run({"/PB"}), 0);
  EXPECT_EQ(board.Status(), 0x64);
  EXPECT_EQ(board.Run({"/T"}), 2);
  // The erase and the page program reached the flash, which refused both.
  EXPECT_THAT(board.trace, testing::Contains("spi 20 @000000"));
  EXPECT_THAT(board.trace, testing::Contains("spi 02 @000000 w256"));
  EXPECT_TRUE(board.flash == before) << "the protected sector changed";
  // The read-back finds the first byte as it was.
  char line[48];
  std::snprintf(line, sizeof line, "[0]=88  ROM data=%x -- Test Fail. \n\n", before[0]);
  EXPECT_TRUE(simtest::BeforeAdvice(board.console).ends_with(line)) << board.console;
}

TEST(BootBlockProtection, WinbondSecondStatusRegisterIsWrittenBackAsItWasRead) {
  for (const char* status2 : {"00", "02", "40", "42"}) {
    SCOPED_TRACE(status2);
    PoweredBoard board("w25q80", {}, true);
    board.SetVolatileStatus(0x00, static_cast<std::uint8_t>(std::stoul(status2, nullptr, 16)));
    ASSERT_EQ(board.Run({"/PB"}), 0);
    const auto protection =
        simtest::FromFirst(simtest::DecodeTunnel(board.ports).transactions, kWriteEnable);
    // The last two read the status registers back.
    ASSERT_EQ(protection.size(), 11u);
    EXPECT_EQ(Describe(protection[4], true), std::string("35 r1:") + status2);
    // The complement bit (0x40) would protect all but the boot block.
    const char* written = status2[0] == '4' ? (status2[1] == '2' ? "02" : "00") : status2;
    EXPECT_EQ(Describe(protection[6]), std::string("01 w64,") + written);
    EXPECT_EQ(board.Status(), 0x64);
  }
}

TEST(BootBlockProtection, AnImageNameOnTheLineRunsTheUpdateInstead) {
  SimFixture sim;
  const std::vector<std::uint8_t> image = RandomBytes(0x1000, 41);
  sim.WriteFile("ec.bin", image);
  SimResult r = sim.Run({}, {"ec.bin", "4", "/PB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.console, testing::Not(testing::HasSubstr("Protect BBK Area Done!")));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), r.flash.begin())) << "image not written";
  // The status clear's two-byte write, not /PB's: nothing protected.
  EXPECT_THAT(r.TraceLines("spi 01"), testing::ElementsAre("spi 01 w2"));
  EXPECT_EQ(r.flash_status & 0x7C, 0);
}

// The update meets a part whose status bits protect what it would erase:
// the clear lifts what it may (both registers on a part with a complement
// bit), and a block it cannot lift (WP# low with SRP/SRWD/BPL, or SR2's lock)
// is named and not erased, with no retry. The model's own decoding of the
// bits is the oracle for the range named.
TEST(StatusClear, LiftsTheProtectionOrRefusesTheBlockBeforeErasing) {
  struct Case {
    const char* name;
    const char* chip;
    std::vector<std::uint8_t> arm;     // enables before the status write
    std::vector<std::uint8_t> status;  // the registers as left before the run
    std::vector<ChipFault> faults;
    unsigned image_kb;
    unsigned blocks_written;  // before the refusal, or all
    bool refused;
    bool decoded;  // the program knows the range (else: "the whole flash counts")
    bool locked;
  };
  const ChipFault kWp = ChipFault::kWpLow;
  // clang-format off
  const std::vector<Case> cases = {
      // BP0 with CMP: all but the top 64 KB; one byte would have left CMP.
      {"CMP on W25Q", "w25q80", {0x06}, {0x04, 0x40}, {}, 64, 1, false, true, false},
      {"CMP on GD25Q", "gd25q80", {0x06}, {0x04, 0x40}, {}, 64, 1, false, true, false},
      {"SRP0 and WP# low", "w25q80", {0x06}, {0x9C, 0x00}, {kWp}, 64, 0, true, true, true},
      // Complement of the lowest 64 KB, held by SR2's lock: block 1 refused.
      {"SRL, second block", "w25q80", {0x06}, {0x24, 0x41}, {}, 128, 1, true, true, true},
      {"BPL and WP# low", "sst25vf080b", {0x50}, {0x9C}, {kWp}, 64, 0, true, false, true},
      {"SRWD and WP# low", "mx25l8005", {0x06}, {0x9C}, {kWp}, 64, 0, true, false, true},
      {"BPL, WP# high", "sst25vf080b", {0x50}, {0x9C}, {}, 64, 1, false, false, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimFixture files;
    const std::vector<std::uint8_t> image = RandomBytes(c.image_kb * 1024, 51);
    files.WriteFile("ec.bin", image);
    const std::vector<std::uint8_t> before = RandomBytes(1024 * 1024, 52);
    PoweredBoard board(c.chip, before);
    board.SetStatus(c.arm, c.status);
    const std::uint8_t status1 = board.Status() & 0xFC;
    const std::uint8_t status2 = board.chip.StatusRegister2();
    ASSERT_EQ(status1, c.status[0] & 0xFC) << "the rig did not set the status";
    for (ChipFault fault : c.faults) ASSERT_TRUE(board.chip.Inject(fault, 0));
    const int status = board.Run({"ec.bin", std::to_string(c.image_kb)}, files.Dir());

    const std::size_t written = c.blocks_written * 0x10000;
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + written, board.flash.begin()));
    EXPECT_TRUE(std::equal(before.begin() + written, before.end(), board.flash.begin() + written))
        << "flash changed beyond the blocks written";
    EXPECT_EQ(simtest::EraseLines(board.trace).size(), written / 0x1000)
        << "an erase of a protected block went out";
    if (!c.refused) {
      EXPECT_EQ(status, 0) << board.console;
      EXPECT_EQ(written, image.size());
      continue;
    }
    EXPECT_EQ(status, c.blocks_written == 0 ? 1 : 2);
    const ProtectedRange range = ProtectedRangeOf(*board.chip.Profile(), status1, status2);
    char text[160];
    std::snprintf(text, sizeof text,
                  "\n\r Block %u not erased: the status clear left it write-protected.\n\r"
                  " Status register bits 0x%02x",
                  c.blocks_written, status1 & 0x7C);
    std::string expected = text;
    if (status2 & 0x40) expected += " and status register 2 bits 0x40";
    std::snprintf(text, sizeof text, "\n\r protect 0x%06X-0x%06X", range.first, range.end - 1);
    expected +=
        c.decoded ? text : " are set;\n\r their range is not known, so the whole flash counts";
    expected += c.locked ? ";\n\r the WP# pin or a lock bit holds them.\n\r" : ".\n\r";
    EXPECT_TRUE(simtest::BeforeAdvice(board.console).ends_with(expected)) << board.console;
    EXPECT_EQ(simtest::Count(simtest::BeforeAdvice(board.console), "not erased"), 1u);
    EXPECT_THAT(board.console, testing::Not(testing::HasSubstr("retry")));
    if (c.blocks_written == 0) {
      EXPECT_THAT(board.console,
                  testing::HasSubstr("What to do now:\n\rThe flash was not changed."));
    } else {
      EXPECT_THAT(board.console,
                  testing::HasSubstr("Block 1 (flash address 0x010000) was not erased: it is "
                                     "write-protected.\n\r"));
    }
  }
}

// A failure after the clear lifted a protection: the contents are as they
// were, the protection is not, and the advice says both.
TEST(StatusClear, AdviceSaysTheProtectionWasClearedWhenItWas) {
  for (const char* status : {"1c 00", "00 00"}) {
    SCOPED_TRACE(status);
    SimFixture sim;
    const std::vector<std::uint8_t> before = RandomBytes(1024 * 1024, 53);
    sim.WriteFile("tolvi-sim-flash.bin", before);
    sim.WriteFile("ec.bin", RandomBytes(0x10000, 54));
    sim.WriteFile("tolvi-sim-flash.bin.status", "w25q80 " + std::string(status) + "\n");
    const SimResult r = sim.Run({"--chip", "w25q80", "--fault", "busy-stuck"}, {"ec.bin", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.flash == before);
    const std::string advice =
        status[0] == '1'
            ? "The flash contents were not changed, but its write protection was cleared.\n\r"
              "It is safe to power off.\n\r"
            : "The flash was not changed. It is safe to power off.\n\r";
    EXPECT_TRUE(r.console.ends_with("What to do now:\n\r" + advice)) << r.console;
  }
}

TEST(BootBlockProtection, FlashThatNeverSetsItsWriteLatchEndsTheRunOutOfFlashModeWithStatusOne) {
  simtest::ExpectLatchTimeoutLeavesTheFrame("/PB");
}

}  // namespace
