// The shell-facing conversions of the UEFI provider: command line to narrow
// argv, console text to the firmware's UCS-2 chunks, fopen modes, and exit
// statuses as the shell reports them.
#include "platform/uefi/uefi_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ArgvCase {
  const char* name;
  std::vector<std::u16string> words;
  std::vector<std::string> expected;
};

TEST(UefiArgv, ShellWordsArriveAsNarrowArgvWithNullAtArgc) {
  const std::vector<ArgvCase> cases = {
      {"update", {u"tolvi.efi", u"ec.bin", u"64"}, {"tolvi.efi", "ec.bin", "64"}},
      {"name only", {u"tolvi.efi"}, {"tolvi.efi"}},
      {"empty word kept", {u"tolvi.efi", u"", u"/k"}, {"tolvi.efi", "", "/k"}},
      {"latin-1 kept byte for byte",
       {u"t", u"\u00e9c.bin"},
       {"t",
        "\xe9"
        "c.bin"}},
      {"beyond latin-1 becomes ?", {u"t", u"\u2588x\u4e2d"}, {"t", "?x?"}},
      {"option family",
       {u"tolvi-sim.efi", u"--", u"/VB", u"04A"},
       {"tolvi-sim.efi", "--", "/VB", "04A"}},
  };
  for (const ArgvCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char16_t*> wide;
    std::vector<std::u16string> storage = c.words;
    for (std::u16string& w : storage) wide.push_back(w.data());
    const size_t bytes = uefi::ArgvBlockSize(wide.size(), wide.data());
    // A guard area behind the block shows any write past the computed size.
    std::vector<unsigned char> block(bytes + 32, 0xA5);
    char** argv = uefi::BuildNarrowArgv(wide.size(), wide.data(), block.data());
    ASSERT_EQ(static_cast<void*>(argv), static_cast<void*>(block.data()));
    for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(std::string(argv[i]), c.expected[i]);
    EXPECT_EQ(argv[c.expected.size()], nullptr);
    for (size_t i = bytes; i < block.size(); ++i) ASSERT_EQ(block[i], 0xA5) << "overrun at " << i;
  }
}

// Feeds text through chunks of the given capacity the way the console does
// and returns what the firmware would have been handed.
std::u16string ThroughNarrowChunks(const std::string& text, size_t capacity, size_t* calls) {
  std::u16string seen;
  std::vector<char16_t> chunk(capacity);
  const char* p = text.data();
  size_t left = text.size();
  *calls = 0;
  while (left > 0) {
    const size_t used = uefi::WidenChunk(p, left, chunk.data(), capacity);
    EXPECT_GT(used, 0u);
    EXPECT_LE(std::char_traits<char16_t>::length(chunk.data()), capacity - 1);
    seen += chunk.data();
    ++*calls;
    p += used;
    left -= used;
  }
  return seen;
}

TEST(UefiConsole, NarrowTextReachesTheFirmwareUnchangedAcrossChunks) {
  struct Case {
    const char* name;
    std::string text;
    size_t capacity;
    std::u16string expected;
    size_t calls;
  };
  const std::string long_line(300, 'x');
  const std::vector<Case> cases = {
      {"line ends kept as written", "\n\rPlease check 0x66/0x62\n\n", 129,
       u"\n\rPlease check 0x66/0x62\n\n", 1},
      {"split at capacity", long_line, 129, std::u16string(300, u'x'), 3},
      {"exact fit", std::string(128, 'y'), 129, std::u16string(128, u'y'), 1},
      {"high bytes widen as latin-1", "\xe9\xff", 8, u"\u00e9\u00ff", 1},
      {"zero byte dropped", std::string("ab\0cd", 5), 8, u"abcd", 1},
      {"tiny chunks", "abcdef", 2, u"abcdef", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    size_t calls = 0;
    EXPECT_EQ(ThroughNarrowChunks(c.text, c.capacity, &calls), c.expected);
    EXPECT_EQ(calls, c.calls);
  }
}

TEST(UefiConsole, WideTextIsCopiedWholeAcrossChunks) {
  const std::u16string text = u"\n\r  Programing...    : \u2588\u2588 -- Program OK. \n\n";
  for (size_t capacity : {2u, 5u, 129u}) {
    SCOPED_TRACE(capacity);
    std::u16string seen;
    std::vector<char16_t> chunk(capacity);
    size_t at = 0;
    while (at < text.size()) {
      at += uefi::CopyWideChunk(text.data() + at, text.size() - at, chunk.data(), capacity);
      seen += chunk.data();
    }
    EXPECT_EQ(seen, text);
  }
}

TEST(UefiFiles, NamesWidenForTheShellAndOverlongNamesAreRefused) {
  char16_t out[8];
  ASSERT_TRUE(uefi::WidenName("ec.bin", out, 8));
  EXPECT_EQ(std::u16string(out), u"ec.bin");
  EXPECT_TRUE(uefi::WidenName("1234567", out, 8));
  EXPECT_FALSE(uefi::WidenName("12345678", out, 8));
  EXPECT_FALSE(uefi::WidenName("", out, 8));
}

TEST(UefiFiles, OpenModesMapToReadReadWriteOrTruncate) {
  using uefi::OpenKind;
  const struct {
    const char* mode;
    OpenKind kind;
  } cases[] = {
      {"rb", OpenKind::kRead},           {"r", OpenKind::kRead},
      {"rb+", OpenKind::kReadWrite},     {"r+b", OpenKind::kReadWrite},
      {"r+", OpenKind::kReadWrite},      {"wb+", OpenKind::kCreateTruncate},
      {"wb", OpenKind::kCreateTruncate}, {"w+b", OpenKind::kCreateTruncate},
      {"a", OpenKind::kInvalid},         {"ab+", OpenKind::kInvalid},
      {"rx", OpenKind::kInvalid},        {"", OpenKind::kInvalid},
      {nullptr, OpenKind::kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode ? c.mode : "(null)");
    EXPECT_EQ(uefi::ParseOpenMode(c.mode), c.kind);
  }
}

// Started without the shell's parameters, or unable to convert them, the
// entry refuses with one line and an error status instead of running bare.
TEST(UefiEntry, MissingOrUnconvertibleCommandLineIsRefused) {
  static int allocations;
  static std::vector<unsigned char> pool;
  auto grant = [](size_t size) -> void* {
    ++allocations;
    pool.assign(size, 0);
    return pool.data();
  };
  auto refuse = [](size_t) -> void* {
    ++allocations;
    return nullptr;
  };
  std::u16string name = u"tolvi.efi";
  std::u16string word = u"/S";
  char16_t* words[] = {name.data(), word.data(), nullptr};
  const efi::ShellParameters none_given = {nullptr, 0, nullptr, nullptr, nullptr};
  const efi::ShellParameters given = {words, 2, nullptr, nullptr, nullptr};
  const struct {
    const char* name;
    const efi::ShellParameters* params;
    void* (*allocate)(size_t);
    const char16_t* refusal;
    efi::Status status;
    int allocations;
  } cases[] = {
      {"no protocol", nullptr, +grant,
       u"No shell parameters: start this program from the UEFI Shell.\r\n", 0x8000000000000001ull,
       0},
      {"empty command line", &none_given, +grant,
       u"No shell parameters: start this program from the UEFI Shell.\r\n", 0x8000000000000001ull,
       0},
      {"no memory for argv", &given, +refuse,
       u"The command line could not be converted: out of memory.\r\n", 0x8000000000000009ull, 1},
      {"converted", &given, +grant, nullptr, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    allocations = 0;
    const uefi::EntryArguments args = uefi::PrepareArguments(c.params, c.allocate);
    EXPECT_EQ(allocations, c.allocations);
    EXPECT_EQ(args.status, c.status);
    if (c.refusal == nullptr) {
      ASSERT_EQ(args.refusal, nullptr);
      ASSERT_EQ(args.argc, 2);
      EXPECT_STREQ(args.argv[0], "tolvi.efi");
      EXPECT_STREQ(args.argv[1], "/S");
      EXPECT_EQ(args.argv[2], nullptr);
      EXPECT_EQ(args.block, static_cast<void*>(pool.data()));
    } else {
      ASSERT_NE(args.refusal, nullptr);
      EXPECT_EQ(std::u16string(args.refusal), c.refusal);
      EXPECT_EQ(args.argv, nullptr);
      EXPECT_EQ(args.block, nullptr);
    }
  }
}

TEST(UefiEntry, ExitStatusBecomesTheShellsLastError) {
  // The shell shows these as %lasterror% 0x0, 0x15 (EFI_ABORTED), 0x7
  // (EFI_DEVICE_ERROR) and 0x2 (EFI_INVALID_PARAMETER).
  EXPECT_EQ(uefi::StatusFromExitCode(0), 0u);
  EXPECT_EQ(uefi::StatusFromExitCode(1), 0x8000000000000015ull);
  EXPECT_EQ(uefi::StatusFromExitCode(2), 0x8000000000000007ull);
  EXPECT_EQ(uefi::StatusFromExitCode(3), 0x8000000000000002ull);
  EXPECT_EQ(uefi::StatusFromExitCode(-1), 0x8000000000000002ull);
}

}  // namespace
