// The board model's line builder and number scan, which every trace line,
// chip listing and board option goes through.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "sim/sim_text.h"
#include "sim/sim_types.h"

namespace {

TEST(BoardText, NumbersReadAsTheCLibraryPrintsThem) {
  const uint64_t values[] = {0, 1, 9, 10, 0x7F, 0xFF, 0x100, 0x12345, 0xFFFFFF, UINT64_MAX};
  for (uint64_t value : values) {
    for (unsigned digits : {0u, 1u, 2u, 6u, 20u}) {
      char expected[64];
      char text[64];
      snprintf(expected, sizeof(expected), "%0*llx", static_cast<int>(digits),
               static_cast<unsigned long long>(value));
      TextLine hex(text, sizeof(text));
      hex.Hex(value, digits);
      EXPECT_STREQ(hex.Text(), expected) << "hex " << value << " digits " << digits;

      snprintf(expected, sizeof(expected), "%*llu", static_cast<int>(digits),
               static_cast<unsigned long long>(value));
      TextLine dec(text, sizeof(text));
      dec.Dec(value, digits);
      EXPECT_STREQ(dec.Text(), expected) << "dec " << value << " width " << digits;
      EXPECT_EQ(dec.Length(), strlen(expected));
    }
  }
}

TEST(BoardText, LineStopsAtItsCapacityAndPadsToAColumn) {
  char small[8];
  TextLine cut(small, sizeof(small));
  cut.Add("spi ").Hex(0xABCDEF, 6).Char('!');
  EXPECT_STREQ(cut.Text(), "spi abc");
  EXPECT_EQ(cut.Length(), 7u);

  struct Case {
    const char* start;
    size_t column;
    const char* expected;
  };
  const Case cases[] = {{"ab", 5, "ab   "}, {"abcde", 5, "abcde "}, {"abcdefg", 3, "abcdefg "}};
  for (const Case& c : cases) {
    char text[32];
    TextLine line(text, sizeof(text));
    line.Add(c.start).PadTo(c.column);
    EXPECT_STREQ(line.Text(), c.expected) << c.start << " to " << c.column;
  }

  TraceText longest;
  for (int i = 0; i < 200; ++i) longest.Char('x');
  EXPECT_EQ(longest.Length(), TraceText::kCapacity);
  EXPECT_EQ(std::string(longest.Text()), std::string(TraceText::kCapacity, 'x'));
}

TEST(BoardText, EmitHandsTheWholeLineToTheSinkWhenThereIsOne) {
  std::string seen;
  TraceSink sink{&seen, [](void* context, const char* text) {
                   *static_cast<std::string*>(context) += std::string(text) + "|";
                 }};
  TraceText line;
  line.Add("ec 80 ").Hex(0xD8).Add(" -> ").Hex(0x5A);
  line.EmitTo(&sink);
  line.EmitTo(nullptr);
  TraceSink deaf{&seen, nullptr};
  line.EmitTo(&deaf);
  EXPECT_EQ(seen, "ec 80 d8 -> 5a|");
}

TEST(BoardText, WholeNumbersWithinTheirLimitAreAccepted) {
  struct Case {
    const char* text;
    unsigned base;
    uint64_t limit;
    bool accepted;
  };
  const Case cases[] = {
      {"33", 16, 0xFF, true},
      {"0xff", 16, 0xFF, true},
      {"0XFe", 16, 0xFF, true},
      {"100", 16, 0xFF, false},
      {"5512", 16, 0xFFFF, true},
      {"ffff", 16, 0xFFFE, false},
      {"1000000000", 10, 1000000000, true},
      {"1000000001", 10, 1000000000, false},
      {"4294967295", 10, 0xFFFFFFFF, true},
      {"4294967296", 10, 0xFFFFFFFF, false},
      {"18446744073709551615", 10, UINT64_MAX, true},
      {"18446744073709551616", 10, UINT64_MAX, false},
      {"ffffffffffffffff", 16, UINT64_MAX, true},
      {"10000000000000000", 16, UINT64_MAX, false},
      {"0", 10, 0xFF, true},
      {"", 10, 0xFF, false},
      {"0x", 16, 0xFF, false},
      {"12x", 10, 0xFF, false},
      {"a", 10, 0xFF, false},
      {"0x12", 10, 0xFF, false},
      {" 12", 10, 0xFF, false},
      {"-1", 10, 0xFF, false},
  };
  for (const Case& c : cases) {
    uint64_t value = 0xDEAD;
    EXPECT_EQ(ParseUnsigned(c.text, c.base, c.limit, &value), c.accepted) << '"' << c.text << '"';
    if (c.accepted) {
      EXPECT_EQ(value, strtoull(c.text, nullptr, static_cast<int>(c.base))) << c.text;
    } else {
      EXPECT_EQ(value, 0xDEADu) << "a refused text leaves the value alone: " << c.text;
    }
  }
  uint64_t untouched = 7;
  EXPECT_FALSE(ParseUnsigned(nullptr, 16, 0xFF, &untouched));
  EXPECT_EQ(untouched, 7u);
}

TEST(BoardText, EqualOnlyForTheSameWholeText) {
  EXPECT_TRUE(TextEqual("--chip", "--chip"));
  EXPECT_TRUE(TextEqual("", ""));
  EXPECT_FALSE(TextEqual("--chip", "--chip-id"));
  EXPECT_FALSE(TextEqual("--chip-id", "--chip"));
  EXPECT_FALSE(TextEqual("2e", "2E"));
  EXPECT_FALSE(TextEqual("", "x"));
}

}  // namespace
