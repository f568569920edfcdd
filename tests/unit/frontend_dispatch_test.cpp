// The dispatch: image load and its refusals, the dump's frame, the choice of
// operation and the exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"
#include "support/test_data.h"
#include "tolvi.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
  return bytes;
}

constexpr size_t kFlashSize = 1 << 20;  // the harness's default chip

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A server's error page saved under the image's name.
const std::string kErrorPage = "<html><body><h1>404 Not Found</h1></body></html>\n";

// Firmware, including a download whose first 4 KB hold a byte no text has,
// and an error page forced with /F, lands at address 0 as it is.
TEST(FrontendDispatch, ImagesAreMeasuredAndWritten) {
  std::vector<uint8_t> late_binary = Bytes(std::string(0xFFF, ' '));
  late_binary.push_back(0x00);
  const struct {
    const char* name;
    std::vector<uint8_t> image;
    std::vector<std::string> args;
    std::string console_start;
    uint32_t page_count;
  } rows[] = {
      {"one block",
       Pattern(0x10000, 3),
       {"ec.bin", "64"},
       "\n\rFile Size: 64K\n\n\rBlockNum: 0,  MaxBlock: 1,   PageCount: 64\n",
       64},
      {"binary within 4 KB",
       late_binary,
       {"ec.bin", "4"},
       "\n\rFile Size: 4K\n\n\rBlockNum: 0,  MaxBlock: 1,   PageCount: 4\n",
       4},
      {"error page, forced",
       Bytes(kErrorPage),
       {"ec.bin", "1", "/F"},
       "\n\rFile Size: 1K\n\n\rBlockNum: 0,  MaxBlock: 1,   PageCount: 1\n",
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SimFixture sim;
    sim.WriteFile("ec.bin", row.image);
    SimResult r = sim.Run({}, row.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.console, StartsWith(row.console_start));
    ASSERT_EQ(r.flash.size(), kFlashSize);
    EXPECT_TRUE(std::equal(row.image.begin(), row.image.end(), r.flash.begin()));
    EXPECT_EQ(FlashState.PageCount, row.page_count);
    EXPECT_EQ(FlashState.ImageData, nullptr);  // released after the update
  }
}

struct SizeCase {
  size_t bytes;  // the image's size; kMissing: no file, kDirectory: a directory by its name
  std::vector<std::string> args;
  std::string console;             // the whole console output of a refusal
  std::vector<uint8_t> content{};  // the image's bytes; none: `bytes` of 0x5A
};

// A download that is no firmware, as the image.
SizeCase Download(std::vector<uint8_t> content, std::vector<std::string> args,
                  std::string console) {
  return {content.size(), std::move(args), std::move(console), std::move(content)};
}

constexpr size_t kMissing = SIZE_MAX, kDirectory = SIZE_MAX - 1;

// Images that cannot be written or read at all.
TEST(FrontendDispatch, ImageSizesThatCannotBeWrittenAreRefusedBeforeAnyHardware) {
  const std::string blocks =
      "\n\rImage too large: at most 255 blocks (0xFF0000 bytes) can be written!\n\n";
  const auto refused = [](int kb, int max_block, int pages, const std::string& reason) {
    return "\n\rFile Size: " + std::to_string(kb) +
           "K\n\n\rBlockNum: 0,  MaxBlock: " + std::to_string(max_block) +
           ",   PageCount: " + std::to_string(pages) + "\n\n\rImage refused: " + reason +
           "; /F takes it anyway.\n\n";
  };
  const std::string kText = "text, not firmware (an error page?)";
  std::string text_then_binary(0x1000, 'a');
  for (size_t i = 0; i < text_then_binary.size(); i += 61) text_then_binary[i] = '\n';
  text_then_binary += std::string(0x1000, '\x90');
  const std::vector<SizeCase> cases = {
      {65537,
       {"ec.bin", "64"},
       "\n\rFile Size: 65K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
       "The file holds 64K and 1 byte; the command line says 64K.\n"},
      {1,
       {"ec.bin", "2"},
       "\n\rFile Size: 1K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
       "The file holds 0K and 1 byte; the command line says 2K.\n"},
      {0x20000,
       {"ec.bin", "-64"},
       "\n\rFile Size: 128K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
       "The file holds 128K; the command line says -64K.\n"},
      {0x20000,
       {"ec.bin", "64"},
       "\n\rFile Size: 128K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
       "The file holds 128K; the command line says 64K.\n"},
      {0x10003,
       {"ec.bin", "66"},
       "\n\rFile Size: 65K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
       "The file holds 64K and 3 bytes; the command line says 66K.\n"},
      {0xFF0001, {"ec.bin", "0"}, "\n\rFile Size: 16321K\n" + blocks},
      {0x1001,
       {"ec.bin", "0", "/BK"},
       "\n\rFile Size: 5K\n\n\rImage too large for the BBK sector (at most 4K)!\n\n"},
      {0xF001,
       {"ec.bin", "0", "/Mn"},
       "\n\rFile Size: 61K\n\n\rImage size does not fit the Main code area (60K, or 60K plus "
       "whole 64K blocks)!\n\n"},
      {0x1F000 - 0x400,
       {"ec.bin", "0", "/Mn"},
       "\n\rFile Size: 123K\n\n\rImage size does not fit the Main code area (60K, or 60K plus "
       "whole 64K blocks)!\n\n"},
      {0xF001,
       {"ec.bin", "0", "/Bp"},
       "\n\rFile Size: 61K\n\n\rImage too large for the Backup code area (at most 60K)!\n\n"},
      {kMissing,
       {"missing.bin", "64", "/PB"},
       "\n\rFile Open Fail!\n\rCannot open \"missing.bin\"."},
      // A directory opens for reading on Linux but has no length and no bytes.
      {kDirectory,
       {"dir.bin", "0"},
       "\n\rFile Open Fail!\n\r\"dir.bin\" is a folder or a device, not a file."},
      // Downloads that are no firmware, refused unless /F.
      Download({}, {"ec.bin", "0"}, refused(0, 0, 0, "the file is empty")),
      Download(std::vector<uint8_t>(0x1000, 0xFF), {"ec.bin", "4"},
               refused(4, 1, 4, "every byte is 0xFF, no firmware")),
      Download(std::vector<uint8_t>(0x10000, 0x00), {"ec.bin", "64"},
               refused(64, 1, 64, "every byte is 0x00, no firmware")),
      Download(Bytes(kErrorPage), {"ec.bin", "1"}, refused(1, 1, 1, kText)),
      Download(Bytes(text_then_binary), {"ec.bin", "8"}, refused(8, 1, 8, kText)),
      Download(Bytes(kErrorPage), {"ec.bin", "1", "/BK"}, refused(1, 1, 1, kText)),
  };
  const std::vector<uint8_t> before = simtest::RandomBytes(kFlashSize, 5);
  for (const SizeCase& c : cases) {
    SimFixture sim;
    sim.WriteFile("tolvi-sim-flash.bin", before);
    if (c.bytes == kDirectory) {
      std::filesystem::create_directory(sim.Path("dir.bin"));
    } else if (c.bytes != kMissing) {
      sim.WriteFile("ec.bin", c.content.empty() ? std::vector<uint8_t>(c.bytes, 0x5A) : c.content);
    }
    SimResult r = sim.Run({}, c.args);
    SCOPED_TRACE(std::to_string(c.bytes) + " " + testing::PrintToString(c.args));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, c.console);
    EXPECT_THAT(r.TraceLines("ec "), IsEmpty());
    EXPECT_THAT(r.TraceLines("kbc "), IsEmpty());
    EXPECT_THAT(r.TraceLines("spi "), IsEmpty());
    EXPECT_TRUE(r.flash == before);
    EXPECT_EQ(FlashState.ImageData, nullptr);
  }
}

TEST(FrontendDispatch, AreaSizesTheBlockPathsFitAreAccepted) {
  const std::vector<SizeCase> cases = {
      {0x1000, {"ec.bin", "4", "/BK"}, "\n\rFile Size: 4K\n"},
      {0xF000, {"ec.bin", "60", "/Mn"}, "\n\rFile Size: 60K\n"},
      {0x1F000, {"ec.bin", "124", "/Mn"}, "\n\rFile Size: 124K\n"},
      {0xF000, {"ec.bin", "60", "/Bp"}, "\n\rFile Size: 60K\n"},
      {3000, {"ec.bin", "0"}, "\n\rFile Size: 3K\n"},
  };
  for (const SizeCase& c : cases) {
    SimFixture sim;
    sim.WriteFile("ec.bin", Pattern(c.bytes, 9));
    SimResult r = sim.Run({}, c.args);
    std::string line = std::to_string(c.bytes) + " " + testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 0) << line;
    EXPECT_THAT(r.console, StartsWith(c.console + "\n\rBlockNum: 0,  MaxBlock: ")) << line;
    EXPECT_THAT(r.TraceLines("ec dc"), ElementsAre("ec dc -> 33")) << line;
  }
}

TEST(FrontendDispatch, ImageNameWinsOverEveryOtherOperation) {
  SimFixture sim;
  sim.WriteFile("ec.bin", Pattern(0x1000, 1));
  const std::vector<std::vector<std::string>> lines = {
      {"ec.bin", "4", "/PB"}, {"ec.bin", "4", "/T"}, {"/S", "4", "ec.bin", "4"}};
  for (const std::vector<std::string>& args : lines) {
    SimResult r = sim.Run({}, args);
    std::string line = testing::PrintToString(args);
    EXPECT_EQ(r.status, 0) << line;
    EXPECT_THAT(r.console, StartsWith("\n\rFile Size: 4K\n")) << line;
    EXPECT_FALSE(sim.FileExists("XQRFW.bin")) << line;
  }
}

struct DumpCase {
  std::vector<std::string> board;
  std::vector<std::string> args;
  std::vector<std::string> ec_commands;  // trace lines "ec ..." outside the tunnel
  std::vector<std::string> kbc;
};

TEST(FrontendDispatch, DumpFramesTheReadBackWithEntryLeaveAndKeyboardEnable) {
  const std::vector<DumpCase> cases = {
      {{}, {"/S", "64"}, {"ec dc -> 33", "ec fe"}, {"kbc ae"}},
      {{}, {"/S", "64", "/j"}, {"ec dc -> 33", "ec fc"}, {"kbc ae"}},
      {{}, {"/S", "64", "/k"}, {"ec dc -> 33", "ec fe"}, {}},
      {{"--chip-id", "5570"}, {"/S", "64"}, {"ec dd", "ec dc -> 33", "ec fe"}, {"kbc ae"}},
      {{"--chip-id", "5570"}, {"/S", "64", "/e"}, {"ec de", "ec dc -> 33", "ec fe"}, {"kbc ae"}},
      {{"--chip-id", "5512"}, {"/S", "64", "/e"}, {"ec dc -> 33", "ec fe"}, {"kbc ae"}},
  };
  std::vector<uint8_t> contents = Pattern(kFlashSize, 5);
  for (const DumpCase& c : cases) {
    SimFixture sim;
    sim.WriteFile("flash.bin", contents);
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--flash", "flash.bin"});
    SimResult r = sim.Run(board, c.args);
    std::string line = testing::PrintToString(c.board) + testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 0) << line;
    EXPECT_THAT(r.console, StartsWith("Save FW to XQRFW.bin : ")) << line;
    std::vector<std::string> ec;
    for (const std::string& t : r.TraceLines("ec ")) {
      if (t.rfind("ec 80", 0) != 0) ec.push_back(t);
    }
    EXPECT_EQ(ec, c.ec_commands) << line;
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc) << line;
    std::vector<uint8_t> dump = sim.ReadFile("XQRFW.bin");
    EXPECT_EQ(dump, std::vector<uint8_t>(contents.begin(), contents.begin() + 0x10000)) << line;
    EXPECT_FALSE(r.ec_in_flash_mode) << line;
  }
}

// The dump goes on after a wrong acknowledgement (the fault suite's
// ec_ack_32_x_S cell holds its console, status and traffic to the healthy
// run's); the failure is written at column 1 of row 2.
TEST(FrontendDispatch, DumpShowsAWrongAcknowledgementAtTheLeftOfRowTwo) {
  SimResult r = simtest::RunSim({"--ec-ack", "32"}, {"/S", "32"});
  ASSERT_GE(r.screen.size(), 3u);
  EXPECT_THAT(r.screen[2], StartsWith(" EC ACK Fail."));
}

TEST(FrontendDispatch, DumpFileThatCannotBeCreatedEndsWithStatusOne) {
  SimFixture sim;
  // The dump is created under a new name beside XQRFW.bin; with every name
  // it tries taken, the create fails (a link into a missing folder would
  // just be replaced).
  for (int n = 0; n < 100; ++n) {
    sim.WriteFile("XQRFW.bin." + std::to_string(getpid()) + "-" + std::to_string(n) + ".new",
                  std::string("taken"));
  }
  SimResult r = sim.Run({}, {"/S", "64"});
  EXPECT_EQ(r.status, 1);
  // The file is opened only after the size has been checked against the chip.
  EXPECT_EQ(r.console,
            "Save FW to XQRFW.bin : \nvEnterFollowMode\nSPIDeviceID= ef 40 14 0\nvExitFollowMode"
            "open XQRFW.bin fail\n\rWhat to do now:\n\rThe flash was not changed. It is safe to "
            "power off.\n\r");
  EXPECT_THAT(r.TraceLines("ec "), ElementsAre("ec dc -> 33", "ec fe"));
  EXPECT_THAT(r.TraceLines("spi 0b"), IsEmpty());
  EXPECT_FALSE(r.ec_in_flash_mode);
}

struct StatusCase {
  std::vector<std::string> args;
  int status;
  std::string console_start;
};

// (No operation at all: the scan's refusal table.)
TEST(FrontendDispatch, ChecksumExitStatuses) {
  SimFixture sim;
  sim.WriteFile("ec.bin", std::vector<uint8_t>{1, 2, 3});
  const std::vector<StatusCase> cases = {
      {{"/c"}, 1, "\n\rFile Open Fail!\n\rNo file name was given."},
      {{"/c", "missing.bin"}, 1, "\n\rFile Open Fail!\n\rCannot open \"missing.bin\"."},
      {{"/k", "/c", "ec.bin"}, 1, "\n\rFile Open Fail!\n\rCannot open \"/c\"."},  // entry 2
      {{"/c", "ec.bin"}, 0, ""},
  };
  for (const StatusCase& c : cases) {
    SimResult r = sim.Run({}, c.args);
    std::string line = testing::PrintToString(c.args);
    EXPECT_EQ(r.status, c.status) << line;
    EXPECT_THAT(r.console, StartsWith(c.console_start)) << line;
    EXPECT_THAT(r.TraceLines("ec "), IsEmpty()) << line;
  }
}

}  // namespace
