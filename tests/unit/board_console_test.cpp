// The console model (80 x 25 unless resized): what a person sees on the
// firmware screen, and the print library's line ends in front of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/line_ends.h"
#include "platform/provider.h"
#include "sim/console_model.h"

namespace {

std::string Row(const ConsoleModel& console, unsigned row) {
  char text[ConsoleModel::kMaxColumns * 3 + 1];
  console.RowText(row, text, sizeof(text));
  return text;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(BoardConsole, TextIsPlacedAsTheFirmwareConsolePlacesIt) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> rows;  // the first rows of the screen
    unsigned column, row;           // the cursor afterwards
  };
  const Case cases[] = {
      {"line feed keeps the column", "ab\ncd", {"ab", "  cd"}, 4, 1},
      {"carriage return goes to column 0", "ab\r\ncd", {"ab", "cd"}, 2, 1},
      {"\\n\\r as the program writes it", "\n\rSend\n\n", {"", "Send", "", ""}, 4, 3},
      {"carriage return overwrites", "abcd\rxy", {"xycd"}, 2, 0},
      {"backspace steps back", "ab\bc", {"ac"}, 2, 0},
      {"wrap at column 80", std::string(80, 'a') + "b", {std::string(80, 'a'), "b"}, 1, 1},
      {"exactly 80 moves to the next line", std::string(80, 'x'), {std::string(80, 'x'), ""}, 0, 1},
  };
  for (const Case& c : cases) {
    for (bool wide : {false, true}) {
      ConsoleModel console;
      console.Reset();
      if (wide) {
        std::u16string text = Wide(c.text);
        console.WriteWide(text.data(), text.size());
      } else {
        console.WriteNarrow(c.text.data(), c.text.size());
      }
      for (size_t i = 0; i < c.rows.size(); ++i) {
        EXPECT_EQ(Row(console, static_cast<unsigned>(i)), c.rows[i]) << c.name << " row " << i;
      }
      EXPECT_EQ(console.CursorColumn(), c.column) << c.name;
      EXPECT_EQ(console.CursorRow(), c.row) << c.name;
    }
  }
}

TEST(BoardConsole, LineFeedOnTheBottomRowScrolls) {
  ConsoleModel console;
  console.Reset();
  for (int i = 0; i < 30; ++i) {
    std::string line = "line " + std::to_string(i) + "\r\n";
    console.WriteNarrow(line.data(), line.size());
  }
  // Lines 0..5 have scrolled off; the cursor sits on the blank bottom row.
  EXPECT_EQ(Row(console, 0), "line 6");
  EXPECT_EQ(Row(console, 23), "line 29");
  EXPECT_EQ(Row(console, 24), "");
  EXPECT_EQ(console.CursorRow(), 24u);
  EXPECT_EQ(console.UsedRows(), 24u);
}

TEST(BoardConsole, ClearKeepsTheAttributeAndCursorMovesOnlyOnTheScreen) {
  ConsoleModel console;
  console.Reset();
  console.WriteNarrow("old", 3);
  console.SetAttribute(0x1C);  // light red on blue
  console.Clear();
  EXPECT_EQ(Row(console, 0), "");
  EXPECT_EQ(console.Cell(79, 24).attribute, 0x1C) << "cleared in the current colours";
  EXPECT_EQ(console.CursorColumn(), 0u);
  console.SetCursor(1, 2);
  console.WriteNarrow("X", 1);
  console.SetCursor(80, 0);  // refused, the cursor stays
  console.SetCursor(0, 25);
  console.WriteNarrow("Y", 1);
  EXPECT_EQ(Row(console, 2), " XY");
  console.SetAttribute(0x0A);
  console.WriteNarrow("G", 1);
  EXPECT_EQ(console.Cell(1, 2).attribute, 0x1C);
  EXPECT_EQ(console.Cell(3, 2).attribute, 0x0A);
  EXPECT_EQ(console.Cell(3, 2).ch, u'G');
}

TEST(BoardConsole, NarrowBytesAreLatin1AndWideTextIsUcs2) {
  ConsoleModel console;
  console.Reset();
  console.WriteNarrow("caf\xE9 ", 5);
  const char16_t marks[] = {0x2588, 0x2588, u'!'};
  console.WriteWide(marks, 3);
  EXPECT_EQ(console.Cell(3, 0).ch, 0x00E9);
  EXPECT_EQ(Row(console, 0), "caf\xC3\xA9 \xE2\x96\x88\xE2\x96\x88!");
}

// The print library's rules, split at every point between two calls (a pair
// split by a chunk boundary is still one pair), in both widths.
TEST(BoardConsole, LineEndsAreTranslatedAsThePrintLibraryDoes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"a\nb", "a\r\nb"},       {"a\n\rb", "a\r\nb"}, {"a\r\nb", "a\r\nb"}, {"a\rb", "a\rb"},
      {"\n\n\r", "\r\n\r\n"},   {"\r\n\r", "\r\n\r"}, {"\n\r\r", "\r\n\r"}, {"\r\r\n", "\r\r\n"},
      {"\n\r\n\r", "\r\n\r\n"}, {"plain", "plain"},
  };
  for (const auto& c : cases) {
    for (size_t split = 0; split <= c.in.size(); ++split) {
      LineEnds narrow_ends;
      std::string narrow;
      auto to_narrow = [&](const char* piece, size_t n) { narrow.append(piece, n); };
      narrow_ends.Translate(c.in.data(), split, to_narrow);
      narrow_ends.Translate(c.in.data() + split, c.in.size() - split, to_narrow);
      EXPECT_EQ(narrow, c.out) << testing::PrintToString(c.in) << " split at " << split;

      LineEnds wide_ends;
      std::u16string wide;
      const std::u16string in = Wide(c.in);
      auto to_wide = [&](const char16_t* piece, size_t n) { wide.append(piece, n); };
      wide_ends.Translate(in.data(), split, to_wide);
      wide_ends.Translate(in.data() + split, in.size() - split, to_wide);
      EXPECT_EQ(wide, Wide(c.out)) << testing::PrintToString(c.in) << " split at " << split;
    }
  }
  // A cursor move between "\n" and "\r" keeps them apart.
  LineEnds ends;
  std::string out;
  auto to_out = [&](const char* piece, size_t n) { out.append(piece, n); };
  ends.Translate("\n", 1, to_out);
  ends.Break();
  ends.Translate("\r", 1, to_out);
  EXPECT_EQ(out, "\r\n\r");
}

// The program's console calls reach the model through the print library's
// line ends, while the model's own writes keep OutputString's.
TEST(BoardConsole, TheProgramsTextStartsItsLinesAtTheLeftEdge) {
  ConsoleModel console;
  console.Reset();
  ConsoleSink sink = console.MakeSink();
  sink.write_narrow(sink.context, "Erase\n", 6);
  sink.write_wide(sink.context, u"Verify\n\r", 8);
  sink.set_cursor(sink.context, 4, 2);
  sink.write_narrow(sink.context, "\rX", 2);
  EXPECT_EQ(Row(console, 0), "Erase");
  EXPECT_EQ(Row(console, 1), "Verify");
  EXPECT_EQ(Row(console, 2), "X") << "a \"\\r\" after a cursor move is its own";
  console.WriteNarrow("\nraw", 4);
  EXPECT_EQ(Row(console, 3), " raw");
}

TEST(BoardConsole, ASizedScreenWrapsAndScrollsAtItsOwnEdges) {
  ConsoleModel console;
  console.Reset(100, 31);
  EXPECT_EQ(console.Columns(), 100u);
  EXPECT_EQ(console.Rows(), 31u);
  const std::string line = std::string(99, 'a') + "bc";
  console.WriteNarrow(line.data(), line.size());
  EXPECT_EQ(Row(console, 0), std::string(99, 'a') + "b");
  EXPECT_EQ(Row(console, 1), "c");
  for (int i = 0; i < 30; ++i) console.WriteNarrow("\r\n", 2);
  EXPECT_EQ(Row(console, 0), "c") << "one line scrolled off";
  EXPECT_EQ(console.CursorRow(), 30u);
  console.SetCursor(99, 30);
  EXPECT_EQ(console.CursorColumn(), 99u);
  console.SetCursor(100, 0);  // refused
  EXPECT_EQ(console.CursorColumn(), 99u);
  console.Reset(1000, 0);
  EXPECT_EQ(console.Columns(), ConsoleModel::kMaxColumns);
  EXPECT_EQ(console.Rows(), 1u);
}

}  // namespace
