// The formatting engine against the C library's snprintf for every narrow form
// the program prints, and the console's wide forms against their expected text.
#include "platform/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/provider.h"

namespace {

using Render = std::function<int(char*, size_t)>;

struct NarrowCase {
  const char* format;
  Render ours;
  Render reference;
};

// Both sides get the same format and the same arguments.
#define NARROW(fmt, ...)                                                         \
  NarrowCase {                                                                   \
    fmt, [](char* b, size_t n) { return pf::snprintf(b, n, fmt, __VA_ARGS__); }, \
        [](char* b, size_t n) { return std::snprintf(b, n, fmt, __VA_ARGS__); }  \
  }

const std::vector<NarrowCase>& NarrowCases() {
  static const std::vector<NarrowCase> cases = {
      NARROW("%02X", 0x0Au),
      NARROW("%02X", 0x1ABu),
      NARROW("%04X", 0xBEEFu),
      NARROW("%04X", 0x12u),
      NARROW("%02d%c", 7, 'K'),
      NARROW("%02d%c", -7, '.'),
      NARROW("%02x%c", 0xFEu, ' '),
      NARROW("\n\rPlease check 0x%x/0x%x are decode and try again!\n\n", 0x66, 0x62),
      NARROW("%s", "XQRFW.bin"),
      NARROW("[%10s|%-10s|%.3s|%-6.2s]", "right", "left", "truncated", "ab"),
      NARROW("%c%c%c", 'a', 0xE9, '\t'),
      NARROW("%x %X %#x %#X %#x", 0xDEADBEEFu, 0xCAFEu, 0x1Fu, 0xABu, 0u),
      NARROW("%d %d %d %d", 0, 1, -1, 123456789),
      NARROW("%d %i", INT_MIN, INT_MAX),
      NARROW("%lld %lld %llu", LLONG_MIN, LLONG_MAX, ULLONG_MAX),
      NARROW("%llx %llX", 0x0123456789ABCDEFull, 0xFEDCBA9876543210ull),
      NARROW("%ld %lu %lx", LONG_MIN, ULONG_MAX, 0x7FFFFFFFL),
      NARROW("%zu %zx %zd", static_cast<size_t>(4096), SIZE_MAX, static_cast<size_t>(12)),
      NARROW("[%8d|%-8d|%08d|%+d|% d|%+05d|%-+6d]", 42, 42, -42, 42, 42, 3, 3),
      NARROW("[%.5d|%8.3d|%-8.3x|%.0d|%.0x]", -42, 7, 0xAu, 0, 0u),
      NARROW("[%*d|%-*d|%*d|%.*d|%.*s]", 6, 1, 6, 2, -6, 3, 4, 9, 2, "xyz"),
      NARROW("%% %u%%", 5u),
      NARROW("%200s|", "a line much longer than one output chunk of the engine"),
      NARROW("%s", ""),
  };
  return cases;
}

// Forms that C defines but compilers flag as likely mistakes: '0' yields to a
// precision and to '-', ' ' yields to '+', and h/hh cut the promoted int.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
const std::vector<NarrowCase>& WarnedButDefinedCases() {
  static const std::vector<NarrowCase> cases = {
      NARROW("[%08.3d|%-08d|% +d|%0-5x]", 5, 6, 7, 0xAu),
      NARROW("%hd %hu %hhd %hhu %hhx", 70000, 70000u, 300, 300u, 0x1FFu),
  };
  return cases;
}
#pragma GCC diagnostic pop

TEST(FormatEngine, NarrowFormsMatchTheCLibraryAtEveryBufferSize) {
  std::vector<NarrowCase> all = NarrowCases();
  all.insert(all.end(), WarnedButDefinedCases().begin(), WarnedButDefinedCases().end());
  for (const NarrowCase& c : all) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{5}, size_t{64}, size_t{512}}) {
      char ours[600];
      char reference[600];
      std::memset(ours, '#', sizeof ours);
      std::memset(reference, '#', sizeof reference);
      const int ours_total = c.ours(ours, size);
      const int reference_total = c.reference(reference, size);
      EXPECT_EQ(ours_total, reference_total) << c.format << " size " << size;
      // The whole buffer, including the bytes beyond the terminator and the
      // bytes past `size` that must stay untouched.
      EXPECT_EQ(std::string(ours, sizeof ours), std::string(reference, sizeof reference))
          << c.format << " size " << size;
    }
  }
}

TEST(FormatEngine, SprintfTerminatesAndCounts) {
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(pf::sprintf(buffer, "%02X%02X", 0xAu, 0xB0u), 4);
  EXPECT_STREQ(buffer, "0AB0");
  EXPECT_EQ(buffer[5], '#');
}

// Captures everything the console receives, as a person would read it.
struct Capture {
  std::u16string wide;
  std::string narrow;
  int wide_writes = 0;
};

ConsoleSink CaptureSink(Capture* capture) {
  ConsoleSink sink = {};
  sink.context = capture;
  sink.write_narrow = [](void* context, const char* text, size_t count) {
    static_cast<Capture*>(context)->narrow.append(text, count);
  };
  sink.write_wide = [](void* context, const char16_t* text, size_t count) {
    Capture* c = static_cast<Capture*>(context);
    c->wide.append(text, count);
    ++c->wide_writes;
  };
  return sink;
}

struct WideCase {
  std::function<void()> print;
  std::u16string expected;
};

TEST(FormatEngine, WideFormsPrintTheConsoleText) {
  const std::vector<WideCase> cases = {
      {[] { Print(u"%02d", 5); }, u"05"},
      {[] { Print(u"%02d", 123); }, u"123"},
      {[] { Print(u"%d", -17); }, u"-17"},
      {[] { Print(u"%d|%u", INT_MIN, 4000000000u); }, u"-2147483648|4000000000"},
      {[] { Print(u"%02x %02X %x", 0xAu, 0xABu, 0xDEADBEEFu); }, u"0a AB deadbeef"},
      {[] { Print(u"%c", 0x2588); }, u"\u2588"},
      {[] { Print(u"%c%c", 'O', 'K'); }, u"OK"},
      {[] { Print(u" XQR Flash Utility Version : %s", u"2.3.0"); },
       u" XQR Flash Utility Version : 2.3.0"},
      {[] { Print(u"[%6s|%-6s]", u"ab", u"cd"); }, u"[    ab|cd    ]"},
      // 'l' is 64-bit whatever the target's long is.
      {[] { Print(u"%lx", static_cast<uint64_t>(0x123456789AULL)); }, u"123456789a"},
      {[] { Print(u"%ld", static_cast<int64_t>(-5000000000LL)); }, u"-5000000000"},
      {[] { Print(u"%lu %d", static_cast<uint64_t>(1) << 40, 9); }, u"1099511627776 9"},
      {[] { Print(u"100%%"); }, u"100%"},
  };
  for (const WideCase& c : cases) {
    Capture capture;
    const ConsoleSink sink = CaptureSink(&capture);
    PlatSetConsoleSink(&sink);
    c.print();
    PlatSetConsoleSink(nullptr);
    EXPECT_EQ(capture.wide, c.expected);
    EXPECT_TRUE(capture.narrow.empty());
  }
}

TEST(FormatEngine, LongWideTextArrivesWholeInOrderedChunks) {
  std::u16string marks(300, u'\u2588');
  Capture capture;
  const ConsoleSink sink = CaptureSink(&capture);
  PlatSetConsoleSink(&sink);
  Print(u"%s|%04d", marks.c_str(), 42);
  PlatSetConsoleSink(nullptr);
  EXPECT_EQ(capture.wide, marks + u"|0042");
  // Chunked, but not one write per character.
  EXPECT_GT(capture.wide_writes, 1);
  EXPECT_LT(capture.wide_writes, 20);
}

}  // namespace
