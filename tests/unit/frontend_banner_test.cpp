// The banner and usage as they land on the firmware's 80 x 25 text screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/provider.h"
#include "sim/console_model.h"
#include "tolvi.h"

namespace {

class ScreenCapture {
 public:
  ScreenCapture() {
    model_.Reset();
    sink_ = model_.MakeSink();
    PlatSetConsoleSink(&sink_);
  }
  ~ScreenCapture() { PlatSetConsoleSink(nullptr); }

  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    char text[ConsoleModel::kColumns * 3 + 1];
    for (unsigned row = 0; row < ConsoleModel::kRows; ++row) {
      model_.RowText(row, text, sizeof(text));
      rows.emplace_back(text);
    }
    return rows;
  }
  const ConsoleModel& model() const { return model_; }

 private:
  ConsoleModel model_;
  ConsoleSink sink_{};
};

const char* const kUsageLines[] = {
    " Usage : ",
    "        tolvi <ec filename> [filesize][/BK][/Mn][/Bp][/PB][/k][/O offset]",
    "        ",
    " Example :",
    "        tolvi ec.bin 64",
    "                Flash ec.bin filesize 64K to SPI",
    "        tolvi ec.bin 64 /k",
    "                Flash ec.bin filesize 64K and skip KBC command",
    "        tolvi ec.bin 64 /O 1000 /j",
    "                Flash ec.bin 64K filesize from offset 0x1000 and NOT Reset after tolvi",
    "        tolvi ec.bin 64 /O 0",
    "                Flash ec.bin 64K filesize from offset 0 and Reset after tolvi",
    "        tolvi ec.bin 4 /BK",
    "                Flash ec.bin 4K filesize to BBK Sector",
    "        tolvi ec.bin 60 /Mn",
    "                Flash ec.bin 60K filesize  to Main code area",
    "        tolvi ec.bin 60 /Bp",
    "                Flash ec.bin 60K filesize  to Backup code area",
    "        tolvi ec.bin 4 /PB",
    "                Protect BBK sector",
    "        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin",
    "                Show FW version from EC space start with offset 0 with 2 bytes",
    "               |Show FW version from EC space start with offset 2(HEX) with 4(DEC) bytes",
    "               |from BRAM | Current FW compare with file",
};

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

TEST(FrontendBanner, BannerStartsAtColumnOneOfRowOne) {
  ScreenCapture screen;
  ClearScreen();
  vShowBanner();
  std::vector<std::string> rows = screen.Rows();
  EXPECT_EQ(rows[0], "");
  EXPECT_EQ(rows[1], "  XQR Flash Utility Version : 2.3.0");
  for (unsigned row = 2; row < rows.size(); ++row) EXPECT_EQ(rows[row], "") << row;
  EXPECT_EQ(screen.model().CursorRow(), 1u);
  // No line break after it: the cursor stays behind its last character.
  EXPECT_EQ(screen.model().CursorColumn(),
            1u + std::string(" XQR Flash Utility Version : 2.3.0").size());
}

TEST(FrontendBanner, UsageFillsTheScreenAndScrollsAsTheFirmwareConsoleDoes) {
  // Lines longer than 80 columns wrap; the screen then scrolls, so the last
  // 25 rows are what a person sees.
  std::vector<std::string> expected = {"", "  XQR Flash Utility Version : 2.3.0"};
  for (const char* line : kUsageLines) {
    std::string text = line;
    do {
      expected.push_back(TrimRight(text.substr(0, ConsoleModel::kColumns)));
      text = text.size() > ConsoleModel::kColumns ? text.substr(ConsoleModel::kColumns) : "";
    } while (!text.empty());
  }
  expected.erase(expected.begin(), expected.end() - ConsoleModel::kRows);

  ScreenCapture screen;
  ClearScreen();
  vShowUsage();
  EXPECT_EQ(screen.Rows(), expected);
}

}  // namespace
