// tolvi-sim as a whole: its files, its own output, and what it passes to the
// program, run in-process through the test fixture.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "support/sim_fixture.h"

namespace simtest {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kFlashFile = "tolvi-sim-flash.bin";

std::vector<std::string> Lines(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(BoardSimRun, HarnessErrorsExitTwoWithOneLineAndTouchNothing) {
  struct Case {
    std::vector<std::string> options;
    const char* message;
  };
  const Case cases[] = {
      {{"--bogus"}, "tolvi-sim: unknown option: --bogus\n"},
      {{"--chip", "no-such-part"}, "tolvi-sim: unknown chip (see --list-chips): no-such-part\n"},
      {{"--fault", "no-such-fault"}, "tolvi-sim: unknown fault or bad argument: no-such-fault\n"},
      {{"--ec-ram", "missing.bin"}, "tolvi-sim: cannot open missing.bin\n"},
      {{"--ec-ram", "short.bin"}, "tolvi-sim: wrong size (EC RAM takes 256 bytes): short.bin\n"},
  };
  for (const Case& c : cases) {
    SimFixture sim;
    sim.WriteFile("short.bin", std::string(255, 'x'));
    SimResult r = sim.Run(c.options, {"/V"});
    EXPECT_EQ(r.status, 3) << c.message;
    EXPECT_EQ(r.err, c.message);
    EXPECT_THAT(r.console, IsEmpty()) << "the program did not run";
    EXPECT_THAT(r.trace, IsEmpty());
    EXPECT_FALSE(sim.FileExists(kFlashFile)) << c.message;
  }
}

TEST(BoardSimRun, HelpAndChipListPrintWithoutRunningTheProgram) {
  SimFixture sim;
  SimResult help = sim.RunRaw({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith("usage: tolvi-sim [BOARD OPTIONS] -- [TOLVI ARGUMENTS]\n"));
  SimResult list = sim.RunRaw({"--list-chips"});
  EXPECT_EQ(list.status, 0);
  std::vector<std::string> lines = Lines({list.out.begin(), list.out.end()});
  ASSERT_EQ(lines.size(), FlashProfileCount());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_THAT(lines[i], StartsWith(FlashProfileName(FlashProfileAt(i))));
  }
  EXPECT_THAT(list.console, IsEmpty());
  EXPECT_FALSE(sim.FileExists(kFlashFile));
}

TEST(BoardSimRun, TheFlashFileStartsErasedAtTheChipSizeAndPersists) {
  SimFixture sim;
  SimResult first = sim.Run({}, {});
  EXPECT_EQ(first.status, 0);
  std::vector<std::uint8_t> contents = sim.ReadFile(kFlashFile);
  ASSERT_EQ(contents.size(), FlashProfileSize(DefaultFlashProfile()));
  EXPECT_EQ(contents, std::vector<std::uint8_t>(contents.size(), 0xFF));

  // Whatever is in the file is what the chip holds on the next run.
  for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<std::uint8_t>(i * 7);
  sim.WriteFile(kFlashFile, contents);
  SimResult second = sim.Run({}, {});
  EXPECT_EQ(second.flash, contents);
  EXPECT_EQ(sim.ReadFile(kFlashFile), contents);

  // A file of another size belongs to another chip.
  contents.resize(4096);
  sim.WriteFile(kFlashFile, contents);
  SimResult wrong = sim.Run({}, {});
  EXPECT_EQ(wrong.status, 3);
  EXPECT_EQ(wrong.err, "tolvi-sim: wrong size (chip " +
                           std::string(FlashProfileName(DefaultFlashProfile())) + " takes " +
                           std::to_string(FlashProfileSize(DefaultFlashProfile())) +
                           " bytes): tolvi-sim-flash.bin\n");
  EXPECT_EQ(sim.ReadFile(kFlashFile).size(), 4096u) << "left as it was";

  SimResult named =
      sim.Run({"--flash", "other.bin", "--chip", FlashProfileName(FlashProfileAt(2))}, {});
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(sim.ReadFile("other.bin").size(), FlashProfileSize(FlashProfileAt(2)));
}

TEST(BoardSimRun, TheProgramGetsItsNameAndTheArgumentsAfterTheSeparator) {
  // With the EC undecoded the program refuses at its port test, after the
  // super-I/O detection: its arguments did reach it, and it ran on this board.
  struct Case {
    std::vector<std::string> raw;
    int status;
  };
  const Case cases[] = {
      {{"--no-ec", "--", "/V"}, 1},
      {{"--no-ec", "/V"}, 1},
      {{"--no-ec"}, 0},  // no arguments: banner and usage, no port touched
  };
  for (const Case& c : cases) {
    SimFixture sim;
    SimResult r = sim.RunRaw(c.raw);
    EXPECT_EQ(r.status, c.status);
    EXPECT_THAT(r.console, Not(IsEmpty()));
    EXPECT_THAT(r.TraceLines("ec "), IsEmpty());
    EXPECT_EQ(r.TraceLines("sio key").size(), c.status == 1 ? 1u : 0u);
  }
}

TEST(BoardSimRun, BoardOptionsShapeWhatTheProgramMeets) {
  SimFixture sim;
  std::vector<std::uint8_t> ram(256, 0);
  const std::string version = "ABCD.123";
  std::copy(version.begin(), version.end(), ram.begin() + 0xD8);
  sim.WriteFile("ram.bin", ram);
  SimResult r = sim.Run({"--sio", "4e", "--chip-id", "5325", "--ec-ram", "ram.bin"}, {"/VC"});
  EXPECT_THAT(r.trace, Contains("sio key 2e"));
  EXPECT_THAT(r.trace, Contains("sio key 4e"));
  EXPECT_THAT(r.trace, Contains("sio read 21 -> 25"));
  EXPECT_THAT(r.trace, Contains("ec 80 d8 -> 41"));
  EXPECT_THAT(r.trace, Contains("ec 80 df -> 33"));
  EXPECT_THAT(r.console, HasSubstr(version));
  EXPECT_TRUE(r.sio_in_config_mode) << "detection leaves the chip in configuration mode";
}

TEST(BoardSimRun, TraceFilesHoldWhatTheFixtureSaw) {
  SimFixture sim;
  RunOptions with_ports;
  with_ports.port_trace = true;
  SimResult r = sim.Run({"--trace", "t.txt", "--trace-ports", "p.txt", "--bus-ns", "10"}, {"/VB"},
                        with_ports);
  ASSERT_FALSE(r.trace.empty());
  EXPECT_EQ(Lines(sim.ReadFile("t.txt")), r.trace);
  EXPECT_EQ(Lines(sim.ReadFile("p.txt")), r.port_trace);
  EXPECT_EQ(r.port_trace.size(), r.counters.port_reads + r.counters.port_writes);
  EXPECT_EQ(r.sim_time_ns, 10 * r.port_trace.size() + 1000 * r.counters.stall_us);
  EXPECT_THAT(r.trace, Contains("bram read 10 -> 02"));
  EXPECT_THAT(r.trace, Contains("bram read 11 -> 41"));
  EXPECT_THAT(r.port_trace, Contains("out 70 10"));
  EXPECT_THAT(r.port_trace, Contains("in 71 41"));
}

TEST(BoardSimRun, ScreenAndStatsReportTheEndOfTheRun) {
  SimFixture sim;
  SimResult r = sim.Run({"--screen", "--stats"}, {"/VC"});
  EXPECT_EQ(r.out, r.ScreenText() + "\n");
  EXPECT_THAT(r.ScreenText(), HasSubstr("XQR02A.0"));
  char expected[64];
  std::snprintf(expected, sizeof(expected), "tolvi-sim stats: port reads %llu\n",
                static_cast<unsigned long long>(r.counters.port_reads));
  EXPECT_THAT(r.err, HasSubstr(expected));
  std::snprintf(expected, sizeof(expected), "tolvi-sim stats: simulated ns %llu\n",
                static_cast<unsigned long long>(r.sim_time_ns));
  EXPECT_THAT(r.err, HasSubstr(expected));
  EXPECT_GT(r.counters.port_reads, 0u);
}

TEST(BoardSimRun, TheHostBinarySeparatesItsOwnOutputStreams) {
  SimFixture sim;
  struct Case {
    std::string arguments;
    int status;
    const char* out_start;  // empty: nothing on standard output
    const char* err;
  };
  const Case cases[] = {
      {"--sio 5e -- /V", 3, "", "tolvi-sim: bad value for --sio (2e, 4e or none): 5e\n"},
      {"--help", 0, "usage: tolvi-sim", ""},
      {"--screen -- /VC", 0, "", ""},
  };
  for (const Case& c : cases) {
    std::string command = "cd '" + sim.Dir() + "' && '" + TOLVI_SIM_BINARY + "' " + c.arguments +
                          " >out.txt 2>err.txt";
    int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << command;
    EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.arguments;
    std::vector<std::uint8_t> out = sim.ReadFile("out.txt");
    std::vector<std::uint8_t> err = sim.ReadFile("err.txt");
    EXPECT_EQ(std::string(err.begin(), err.end()), c.err) << c.arguments;
    EXPECT_THAT(std::string(out.begin(), out.end()), StartsWith(c.out_start)) << c.arguments;
  }
  // --screen prints the picture only: the same rows the fixture sees.
  SimResult in_process = sim.Run({"--screen"}, {"/VC"});
  std::vector<std::uint8_t> out = sim.ReadFile("out.txt");
  EXPECT_EQ(std::string(out.begin(), out.end()), in_process.ScreenText() + "\n");
}

}  // namespace
}  // namespace simtest
