// The banner and usage as they land on the firmware's 80 x 25 text screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/provider.h"
#include "sim/console_model.h"
#include "support/usage_lines.h"
#include "tolvi.h"

namespace {

class ScreenCapture {
 public:
  ScreenCapture() {
    model_.Reset();
    sink_ = model_.MakeSink();
    PlatSetConsoleSink(&sink_);
  }
  // A reader who presses a key at every stop: the screen at each is kept, and
  // the prompt's line end stays, as on the firmware's console.
  void ReadEveryStop() {
    sink_.context = this;
    sink_.pause = [](void* context, const char16_t*) {
      auto* self = static_cast<ScreenCapture*>(context);
      self->stops_.push_back(self->Rows());
      self->model_.PrintWide(u"\n\r", 2);
      return true;
    };
    // The other members then reach the model through this capture.
    sink_.write_narrow = [](void* c, const char* t, size_t n) {
      static_cast<ScreenCapture*>(c)->model_.PrintNarrow(t, n);
    };
    sink_.write_wide = [](void* c, const char16_t* t, size_t n) {
      static_cast<ScreenCapture*>(c)->model_.PrintWide(t, n);
    };
    sink_.clear = [](void* c) { static_cast<ScreenCapture*>(c)->model_.Clear(); };
    sink_.set_cursor = [](void* c, unsigned column, unsigned row) {
      static_cast<ScreenCapture*>(c)->model_.SetCursor(column, row);
    };
  }
  const std::vector<std::vector<std::string>>& stops() const { return stops_; }
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
  std::vector<std::vector<std::string>> stops_;
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
  // Lines longer than 80 columns would wrap; the screen then scrolls, so the
  // last 25 rows are what a person sees.
  std::vector<std::string> expected = {"", "  XQR Flash Utility Version : 2.3.0"};
  for (const char* line : simtest::kUsageLines) {
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

// On an 80x25 screen a person reading the help sees its first line until
// they press a key, and its second part scrolls none of its own lines away.
TEST(FrontendBanner, HelpStopsOnceSoThatNoLineScrollsAwayUnread) {
  ScreenCapture screen;
  screen.ReadEveryStop();
  ClearScreen();
  vShowHelp();
  ASSERT_EQ(screen.stops().size(), 1u);
  const std::vector<std::string>& first = screen.stops()[0];
  EXPECT_EQ(first[1], "  XQR Flash Utility Version : 2.3.0");
  // The prompt takes the row below the last line, which must be free.
  size_t used = first.size();
  while (used > 0 && first[used - 1].empty()) --used;
  EXPECT_LT(used, first.size()) << "no row left for the prompt";
  EXPECT_EQ(first[used - 1], "                Protect BBK sector");
  const std::vector<std::string> last = screen.Rows();
  const auto seen = [&](const std::string& row) {
    return std::find(last.begin(), last.end(), row) != last.end();
  };
  EXPECT_TRUE(seen("        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin")) << "first line after the stop";
  EXPECT_TRUE(seen("               keep the power on and run the command again"));
}

}  // namespace
