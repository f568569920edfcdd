// The option scan and the start-up refusals: which fields a command line sets,
// and every refusal's exact text and exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/option_table.h"
#include "support/sim_fixture.h"
#include "support/usage_lines.h"
#include "tolvi.h"

namespace {

using simtest::RunOptions;
using simtest::SimFixture;
using simtest::SimResult;

// argv as the shell hands it over: writable entries, argv[argc] null.
class Argv {
 public:
  explicit Argv(std::vector<std::string> words) : words_(std::move(words)) {
    for (std::string& w : words_) pointers_.push_back(w.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }
  const char* at(size_t i) const { return pointers_[i]; }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

struct Expected {
  int image_entry = -1;  // argv index ImagePath points at, -1 for null
  uint8_t has_image = 0;
  int32_t file_size_k = 0;
  uint8_t save = 0, checksum = 0, bbk = 0, main = 0, backup = 0, protect = 0, test = 0;
  int64_t start_offset = 0;
  uint64_t no_reset = 0, skip_kbc = 0;
  uint8_t alt_enter = 0, version = 0, bram = 0, version_string = 0, bram_file = 0;
  int64_t version_offset = 0, version_length = 0;
  int compare_entry = -1;  // argv index CompareVersion points at, -1 for null
};

struct ScanCase {
  std::vector<std::string> words;
  Expected want;
};

Expected Image(int entry, int32_t size) {
  Expected e;
  e.image_entry = entry;
  e.has_image = 1;
  e.file_size_k = size;
  return e;
}

template <typename F>
Expected With(Expected e, F change) {
  change(e);
  return e;
}

TEST(FrontendScan, CommandLinesSetTheOptionFields) {
  const std::vector<ScanCase> cases = {
      {{"tolvi", "ec.bin", "64"}, Image(1, 64)},
      {{"tolvi", "ec.bin", "64", "/O", "1000", "/j"},
       With(Image(1, 64), [](Expected& e) { e.start_offset = 0x1000, e.no_reset = 1; })},
      {{"tolvi", "ec.bin", "64", "/O", "0x1000"},
       With(Image(1, 64), [](Expected& e) { e.start_offset = 0x1000; })},
      {{"tolvi", "/O", "1000", "ec.bin", "64"},
       With(Image(3, 64), [](Expected& e) { e.start_offset = 0x1000; })},
      {{"tolvi", "/O", "-1"}, With({}, [](Expected& e) { e.start_offset = -1; })},
      {{"tolvi", "/O", "/k"}, With({}, [](Expected& e) { e.skip_kbc = 1; })},
      {{"tolvi", "/S", "64"}, With({}, [](Expected& e) { e.save = 1, e.file_size_k = 64; })},
      {{"tolvi", "/S", "/k"}, With({}, [](Expected& e) { e.save = 1; })},
      {{"tolvi", "ec.bin", "64", "/S", "32"}, With(Image(1, 32), [](Expected& e) { e.save = 1; })},
      {{"tolvi", "ec.bin", "99999999999"}, Image(1, INT32_MAX)},
      {{"tolvi", "", "8"}, Image(1, 8)},
      {{"tolvi", "a.bin", "64", "b.bin", "32"}, Image(3, 32)},
      {{"tolvi", "ec.bin", "6V", "next"}, Image(1, 6)},
      {{"tolvi", "ec.bin", "4", "/PB"}, With(Image(1, 4), [](Expected& e) { e.protect = 1; })},
      {{"tolvi", "/BKx", "/Mn", "/Bp", "/Test", "/e", "/k", "/j"},
       With({},
            [](Expected& e) {
              e.bbk = 1, e.main = 1, e.backup = 1, e.test = 1, e.alt_enter = 1, e.skip_kbc = 1,
              e.no_reset = 1;
            })},
      {{"tolvi", "/V"}, With({}, [](Expected& e) { e.version = 1; })},
      {{"tolvi", "/V", "2", "4"},
       With({}, [](Expected& e) { e.version = 1, e.version_offset = 2, e.version_length = 4; })},
      {{"tolvi", "/Vx", "ff", "256"},
       With({},
            [](Expected& e) { e.version = 1, e.version_offset = 0xFF, e.version_length = 256; })},
      {{"tolvi", "/VC", "/X"}, With({}, [](Expected& e) { e.version = 1, e.version_string = 1; })},
      {{"tolvi", "/VB", "04A"},
       With({}, [](Expected& e) { e.version = 1, e.bram = 1, e.compare_entry = 2; })},
      {{"tolvi", "/VB"}, With({}, [](Expected& e) { e.version = 1, e.bram = 1; })},
      {{"tolvi", "/VBF", "ec.bin"},
       With({},
            [](Expected& e) { e.version = 1, e.bram = 1, e.bram_file = 1, e.image_entry = 2; })},
      // The scan ends at /c and at a /V form: nothing after them is looked at.
      {{"tolvi", "/k", "/c", "ec.bin", "/X"},
       With({}, [](Expected& e) { e.skip_kbc = 1, e.checksum = 1; })},
      {{"tolvi", "/V", "2", "4", "/X"},
       With({}, [](Expected& e) { e.version = 1, e.version_offset = 2, e.version_length = 4; })},
  };
  for (const ScanCase& c : cases) {
    Argv args(c.words);
    std::string line = testing::PrintToString(c.words);
    FlashState = FlashStateRecord{};
    ASSERT_EQ(iScanArguments(args.argc(), args.argv()), -1) << line;
    const Expected& w = c.want;
    const FlashStateRecord& s = FlashState;
    EXPECT_EQ(s.ImagePath, w.image_entry < 0 ? nullptr : args.at(w.image_entry)) << line;
    EXPECT_EQ(s.HasImage, w.has_image) << line;
    EXPECT_EQ(s.FileSizeK, w.file_size_k) << line;
    EXPECT_EQ(s.SaveMode, w.save) << line;
    EXPECT_EQ(s.ChecksumMode, w.checksum) << line;
    EXPECT_EQ(s.BbkMode, w.bbk) << line;
    EXPECT_EQ(s.MainMode, w.main) << line;
    EXPECT_EQ(s.BackupMode, w.backup) << line;
    EXPECT_EQ(s.ProtectMode, w.protect) << line;
    EXPECT_EQ(s.TestMode, w.test) << line;
    EXPECT_EQ(s.StartOffset, w.start_offset) << line;
    EXPECT_EQ(s.NoReset, w.no_reset) << line;
    EXPECT_EQ(s.SkipKbc, w.skip_kbc) << line;
    EXPECT_EQ(s.AltEnterMode, w.alt_enter) << line;
    EXPECT_EQ(s.VersionMode, w.version) << line;
    EXPECT_EQ(s.BramMode, w.bram) << line;
    EXPECT_EQ(s.VersionStringMode, w.version_string) << line;
    EXPECT_EQ(s.BramFileMode, w.bram_file) << line;
    EXPECT_EQ(s.VersionOffset, w.version_offset) << line;
    EXPECT_EQ(s.VersionLength, w.version_length) << line;
    EXPECT_EQ(s.CompareVersion, w.compare_entry < 0 ? nullptr : args.at(w.compare_entry)) << line;
  }
}

// The usage as a person reads it: the banner, then 26 lines.
const std::string kBanner = " XQR Flash Utility Version : 2.3.0";
std::string UsageText() {
  std::string text = kBanner;
  for (const char* line : simtest::kUsageLines) text += std::string("\n\r") + line;
  return text;
}
const std::string kUsage = UsageText();
const std::string kWrongParameter = kUsage + "\n\nWrong Parameter! Please try again!\n\n";
// The refusal and its cause: where the scan stopped.
std::string StoppedAt(const std::string& where) {
  return kWrongParameter + "Stopped at argument " + where + "\n";
}
const std::string kNoOperation =
    "\n\rFlash Update Fail!"
    "\n\rNo operation was named: give an image and its size, /S, /T, /PB, /V or /c.";
const std::string kSizeLost = "\n\rFile Size Paramter Lost, Please try again!\n\n";

struct RefusalCase {
  std::vector<std::string> board;
  std::vector<std::string> args;
  std::string console;
  int status;
};

TEST(FrontendScan, RefusalsPrintOneMessageAndSendNothingToTheControllers) {
  std::vector<std::string> too_many(255, "/k");
  const std::vector<RefusalCase> cases = {
      {{}, {"/MN"}, StoppedAt("1: \"/MN\" (no such option)"), 1},
      // Letters after an option's are ignored: /bk is /b without its file.
      {{}, {"/bk"}, StoppedAt("1: \"/bk\" (its value is missing)"), 1},
      {{}, {"/C"}, StoppedAt("1: \"/C\" (no such option)"), 1},
      {{}, {"/"}, StoppedAt("1: \"/\" (no such option)"), 1},
      {{}, {"/B"}, StoppedAt("1: \"/B\" (no such option)"), 1},
      {{}, {"/P", "/k"}, StoppedAt("1: \"/P\" (no such option)"), 1},
      {{}, {"/k", "/q", "ec.bin", "64"}, StoppedAt("2: \"/q\" (no such option)"), 1},
      {{}, {"ec.bin", "6R", "next"}, StoppedAt("3: \"next\" (not expected here)"), 1},
      {{}, {"/S"}, StoppedAt("1: \"/S\" (its value is missing)"), 1},
      {{}, {"/S", "k"}, StoppedAt("2: \"k\" (not a decimal number)"), 1},
      {{}, {"/O"}, StoppedAt("1: \"/O\" (its value is missing)"), 1},
      {{}, {"/O", "x1"}, StoppedAt("2: \"x1\" (not a hexadecimal number)"), 1},
      {{}, {"/V", "2"}, StoppedAt("1: \"/V\" (its second value is missing)"), 1},
      {{}, {"/V", "0", "257"}, StoppedAt("1: \"/V\" (its value is out of range)"), 1},
      {{}, {"/V", "0", "-1"}, StoppedAt("1: \"/V\" (its value is out of range)"), 1},
      {{}, {"/VBF"}, StoppedAt("1: \"/VBF\" (its value is missing)"), 1},
      // What a shell lets through is shown escaped and cut: no control byte
      // reaches the console and the line stays within 79 columns.
      {{},
       {"/\x1b[2J\t\xC3\xA4"},
       StoppedAt("1: \"/\\x1B[2J\\x09\\xC3\\xA4\" (no such option)"),
       1},
      {{},
       {"/" + std::string(300, 'a')},
       StoppedAt("1: \"/" + std::string(33, 'a') + "...\" (no such option)"),
       1},
      {{}, too_many, kWrongParameter + "The command line has more than 254 arguments.\n", 1},
      {{}, {"ec.bin"}, kSizeLost, 1},
      {{}, {"ec.bin", "/k"}, kSizeLost, 1},
      {{}, {"/k", "a.bin", "64", "b.bin"}, kSizeLost, 1},
      // Undecoded EC ports are reported before any argument is examined.
      {{"--no-ec"}, {"/x"}, "\n\rPlease check 0x66/0x62 are decode and try again!\n\n", 1},
      {{"--no-ec"},
       {"ec.bin", "64"},
       "\n\rPlease check 0x66/0x62 are decode and try again!\n\n",
       1},
      {{}, {"/k", "/j"}, kNoOperation, 1},
  };
  SimFixture sim;
  for (const RefusalCase& c : cases) {
    std::string line = testing::PrintToString(c.args).substr(0, 60);
    SimResult r = sim.Run(c.board, c.args);
    EXPECT_EQ(r.status, c.status) << line;
    EXPECT_EQ(r.console, c.console) << line;
    EXPECT_THAT(r.TraceLines("ec "), testing::IsEmpty()) << line;
    EXPECT_THAT(r.TraceLines("kbc "), testing::IsEmpty()) << line;
    EXPECT_THAT(r.TraceLines("spi "), testing::IsEmpty()) << line;
    EXPECT_TRUE(r.keyboard_enabled) << line;
    EXPECT_FALSE(r.ec_in_flash_mode) << line;
  }
}

TEST(FrontendScan, LongestAcceptedCommandLineHas255Entries) {
  std::vector<std::string> args(254, "/k");
  SimResult r = simtest::RunSim({}, args);
  EXPECT_EQ(r.console, kNoOperation);
  EXPECT_EQ(FlashState.SkipKbc, 1u);
}

TEST(FrontendScan, EmptyCommandLineShowsUsageWithoutTouchingAPort) {
  RunOptions ports;
  ports.port_trace = true;
  SimResult r = simtest::RunSim({}, {}, ports);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, kUsage);
  EXPECT_THAT(r.port_trace, testing::IsEmpty());
}

TEST(FrontendScan, HelpAddsALineForEachOptionTheUsageLeavesOut) {
  RunOptions ports;
  ports.port_trace = true;
  for (const char* request : {"/?", "-?", "--help"}) {
    SimResult r = simtest::RunSim({}, {request}, ports);
    EXPECT_EQ(r.status, 0) << request;
    EXPECT_THAT(r.port_trace, testing::IsEmpty()) << request;
    ASSERT_EQ(r.console.substr(0, kUsage.size()), kUsage) << request;
    // After the usage: a heading, then one line per option, each naming it
    // as a word of its own.
    std::vector<std::string> lines;
    std::string rest = r.console.substr(kUsage.size());
    for (size_t at = 0; (at = rest.find("\n\r", at)) != std::string::npos; at += 2) {
      size_t end = rest.find("\n\r", at + 2);
      lines.push_back(rest.substr(at + 2, end == std::string::npos ? end : end - at - 2));
    }
    ASSERT_EQ(lines.size(), 14u) << request;
    const char* options[] = {"/S", "/c", "/T", "/e", "/VC", "/D", "/U", "/b", "/F", "/?|-?|--help"};
    for (size_t i = 0; i < 10; ++i) {
      EXPECT_THAT(lines[i + 1], testing::HasSubstr(std::string(" ") + options[i] + " ")) << request;
    }
    // Then the three exit statuses, with what each means for the power.
    const std::string statuses = lines[11] + lines[12] + lines[13];
    for (const char* part :
         {"0 done", "1 ", "safe to power off", "2 flash changed", "keep the power on"}) {
      EXPECT_THAT(statuses, testing::HasSubstr(part)) << request;
    }
  }
  // Only as the sole argument: beside another one it is an unknown option.
  SimResult mixed = simtest::RunSim({}, {"/?", "/k"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.console, StoppedAt("1: \"/?\" (no such option)"));
}

// The scan takes the first row whose letters begin the entry: a row after one
// whose letters begin its own would never be reached.
TEST(FrontendScan, NoOptionRowHidesALaterOne) {
  for (size_t r = 0; r < kProgramOptionCount; ++r) {
    for (size_t later = r + 1; later < kProgramOptionCount; ++later) {
      const std::string earlier_letters = kProgramOptions[r].letters;
      EXPECT_NE(std::string(kProgramOptions[later].letters).rfind(earlier_letters, 0), 0u)
          << "/" << earlier_letters << " hides /" << kProgramOptions[later].letters;
    }
  }
}

TEST(FrontendScan, DecodeCheckReadsPort62OnlyWhen66Answers) {
  RunOptions ports;
  ports.port_trace = true;
  SimResult decoded = simtest::RunSim({}, {"/k"}, ports);
  std::vector<std::string> ec_reads;
  for (const std::string& access : decoded.port_trace) {
    if (access.rfind("in 66", 0) == 0 || access.rfind("in 62", 0) == 0) ec_reads.push_back(access);
  }
  ASSERT_EQ(ec_reads.size(), 2u);
  EXPECT_EQ(ec_reads[0].substr(0, 5), "in 66");
  EXPECT_EQ(ec_reads[1].substr(0, 5), "in 62");

  SimResult undecoded = simtest::RunSim({"--no-ec"}, {"/k"}, ports);
  std::vector<std::string> ec_accesses;
  for (const std::string& access : undecoded.port_trace) {
    if (access.find(" 66 ") != std::string::npos || access.find(" 62 ") != std::string::npos) {
      ec_accesses.push_back(access);
    }
  }
  EXPECT_EQ(ec_accesses, std::vector<std::string>{"in 66 ff"});
}

}  // namespace
