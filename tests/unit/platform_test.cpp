// The platform services as the program uses them: number conversion of its
// arguments, pool memory, console routing, and the hosted console and files.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/hosted/hosted.h"
#include "platform/provider.h"

// Address sanitizer stops the process on an impossible allocation request
// instead of failing it, so that case is left out under it.
#if defined(__SANITIZE_ADDRESS__)
#define TOLVI_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLVI_TEST_ASAN 1
#endif
#endif

namespace {

TEST(PlatformStrtol, MatchesTheCLibraryClampedTo32Bits) {
  // clang-format off
  const char* inputs[] = {
      "64", "0", "  17", "\t-5x", "+12", "-0", "1000", "0x1000", "0X1f", "1F", "ff", "0x", "0xg",
      "", "   ", "-", "+-3", "abc", "/k", "12abc", "2147483647", "2147483648", "-2147483648",
      "-2147483649", "7fffffff", "80000000", "-80000000", "ffffffffff", "99999999999999999999999",
      "-99999999999999999999999", "00000000000000000000000000042", "6R", "04A"};
  // clang-format on
  for (const char* text : inputs) {
    for (int base : {10, 16}) {
      char* our_end = nullptr;
      char* c_end = nullptr;
      const int32_t ours = pf::strtol(text, &our_end, base);
      long reference = std::strtol(text, &c_end, base);
      if (reference > INT32_MAX) reference = INT32_MAX;
      if (reference < INT32_MIN) reference = INT32_MIN;
      EXPECT_EQ(ours, reference) << '"' << text << "\" base " << base;
      EXPECT_EQ(our_end - text, c_end - text) << '"' << text << "\" base " << base;
    }
  }
  EXPECT_EQ(pf::strtol("123", nullptr, 10), 123);
}

TEST(PlatformStrings, CompareAndMeasureLikeTheCLibrary) {
  const char* pairs[][2] = {{"abc", "abc"}, {"abc", "abd"}, {"ab", "abc"},
                            {"", ""},       {"\x80", "a"},  {"a", "\xff"}};
  for (const auto& pair : pairs) {
    const int ours = pf::strcmp(pair[0], pair[1]);
    const int reference = std::strcmp(pair[0], pair[1]);
    EXPECT_EQ(ours < 0, reference < 0) << pair[0] << " vs " << pair[1];
    EXPECT_EQ(ours > 0, reference > 0) << pair[0] << " vs " << pair[1];
    EXPECT_EQ(pf::strlen(pair[0]), std::strlen(pair[0]));
  }
}

TEST(PlatformMemory, ZeroSizeAndFailureReturnNullWithTheirErrorNumbers) {
  pf::SetLastError(0);
  EXPECT_EQ(AllocatePool(0), nullptr);
  EXPECT_EQ(pf::LastError(), pf::kErrInvalid);

  pf::SetLastError(0);
  auto* buffer = static_cast<uint8_t*>(AllocatePool(64 * 1024));
  ASSERT_NE(buffer, nullptr);
  std::memset(buffer, 0xA5, 64 * 1024);
  EXPECT_EQ(buffer[65535], 0xA5);
  EXPECT_EQ(pf::LastError(), 0);
  FreePool(buffer);
  FreePool(nullptr);

#if !defined(TOLVI_TEST_ASAN)
  pf::SetLastError(0);
  EXPECT_EQ(AllocatePool(SIZE_MAX - 4096), nullptr);
  EXPECT_EQ(pf::LastError(), pf::kErrNoMemory);
#endif
}

// Records every console call in order, one entry each.
ConsoleSink RecordingSink(std::vector<std::string>* log) {
  ConsoleSink sink = {};
  sink.context = log;
  sink.write_narrow = [](void* c, const char* text, size_t count) {
    static_cast<std::vector<std::string>*>(c)->push_back("n:" + std::string(text, count));
  };
  sink.write_wide = [](void* c, const char16_t* text, size_t count) {
    std::string ascii;
    for (size_t i = 0; i < count; ++i) ascii += text[i] < 0x80 ? char(text[i]) : '?';
    static_cast<std::vector<std::string>*>(c)->push_back("w:" + ascii);
  };
  sink.clear = [](void* c) { static_cast<std::vector<std::string>*>(c)->push_back("clear"); };
  sink.set_cursor = [](void* c, unsigned column, unsigned row) {
    static_cast<std::vector<std::string>*>(c)->push_back("cursor " + std::to_string(column) + "," +
                                                         std::to_string(row));
  };
  sink.set_attribute = [](void* c, unsigned attribute) {
    static_cast<std::vector<std::string>*>(c)->push_back("attr " + std::to_string(attribute));
  };
  return sink;
}

TEST(PlatformConsole, ASinkReceivesPrintAndPrintfInProgramOrder) {
  std::vector<std::string> log;
  const ConsoleSink sink = RecordingSink(&log);
  PlatSetConsoleSink(&sink);
  ClearScreen();
  SetCursorPosition(1, 1);
  Print(u" Version : %s", u"2.3.0");
  EXPECT_EQ(pf::printf("\n\rFile Size Paramter Lost, Please try again!\n\n"), 46);
  Print(u"%c", 0x2588);
  SetAttribute(0x0C);
  pf::printf("%02X", 0x5Au);
  PlatSetConsoleSink(nullptr);

  const std::vector<std::string> expected = {
      "clear",
      "cursor 1,1",
      "w: Version : 2.3.0",
      "n:\n\rFile Size Paramter Lost, Please try again!\n\n",
      "w:?",
      "attr 12",
      "n:5A",
  };
  EXPECT_EQ(log, expected);
}

// Runs `body` with the hosted console on a temporary stream and returns the
// bytes it wrote there.
std::string HostedOutput(bool terminal, void (*body)()) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) return "<no temporary file>";
  HostedConsoleUse(stream, terminal);
  body();
  HostedConsoleUse(nullptr, false);
  std::fflush(stream);
  std::rewind(stream);
  std::string bytes;
  for (int c; (c = std::fgetc(stream)) != EOF;) bytes += static_cast<char>(c);
  std::fclose(stream);
  return bytes;
}

void ConsoleSession() {
  ClearScreen();
  SetCursorPosition(1, 4);
  Print(u"Block %d ", 2);
  pf::printf("[%s]", "ok");
  Print(u"%c%c", 0x2588, 0xE9);
  SetAttribute(0x0A);
  SetAttribute(0x0C);
  SetAttribute(0x01);
  pf::printf("\n\ra\r\nb\rc\n");
  Print(u"\n");
}

// A log keeps the program's bytes; a terminal shows the firmware's line ends.
TEST(HostedConsole, EscapesAndLineEndsOnlyOnATerminalAndWideTextAsUtf8) {
  EXPECT_EQ(HostedOutput(false, ConsoleSession),
            "Block 2 [ok]\xE2\x96\x88\xC3\xA9\n\ra\r\nb\rc\n\n");
  EXPECT_EQ(HostedOutput(true, ConsoleSession),
            "\x1b[2J\x1b[H\x1b[5;2HBlock 2 [ok]\xE2\x96\x88\xC3\xA9\x1b[92m\x1b[91m\x1b[34m"
            "\r\na\r\nb\rc\r\n\r\n");
}

TEST(HostedConsole, Utf8CoversEveryLengthAndBadSurrogates) {
  const char16_t text[] = {u'A', 0x00E9, 0x2588, 0xD83D, 0xDE00, 0xDC00, u'Z'};
  char out[3 * 7];
  const size_t used = HostedUtf8FromUcs2(text, 7, out);
  EXPECT_EQ(std::string(out, used), "A\xC3\xA9\xE2\x96\x88\xF0\x9F\x98\x80\xEF\xBF\xBDZ");
}

std::string TempName(const char* leaf) {
  return (std::filesystem::temp_directory_path() / (leaf + std::to_string(getpid()))).string();
}

TEST(HostedFiles, WrittenBytesReadBackAndOffsetsAre64Bit) {
  const std::string name = TempName("tolvi_files_");
  pf::FILE* file = pf::fopen(name.c_str(), "wb+");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  EXPECT_EQ(pf::fwrite(data.data(), 1, data.size(), file), data.size());
  EXPECT_EQ(pf::ftell(file), 40000);
  EXPECT_EQ(pf::fseek(file, 0, pf::kSeekEnd), 0);
  EXPECT_EQ(pf::ftell(file), 40000);
  EXPECT_EQ(pf::fseek(file, 100, pf::kSeekSet), 0);
  EXPECT_EQ(pf::fseek(file, 50, pf::kSeekCur), 0);
  uint8_t piece[16];
  EXPECT_EQ(pf::fread(piece, 1, sizeof piece, file), sizeof piece);
  EXPECT_EQ(std::memcmp(piece, data.data() + 150, sizeof piece), 0);
  // Past 4 GB without writing there: the offset must not wrap at 32 bits.
  const int64_t far = (int64_t{5} << 30) + 3;
  EXPECT_EQ(pf::fseek(file, far, pf::kSeekSet), 0);
  EXPECT_EQ(pf::ftell(file), far);
  EXPECT_EQ(pf::fclose(file), 0);

  file = pf::fopen(name.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> back(data.size() + 10);
  EXPECT_EQ(pf::fread(back.data(), 1, back.size(), file), data.size());
  back.resize(data.size());
  EXPECT_EQ(back, data);
  // A read-only stream takes no writes.
  EXPECT_EQ(pf::fwrite(data.data(), 1, 1, file), 0u);
  EXPECT_EQ(pf::fclose(file), 0);

  // "wb+" on an existing file starts it empty.
  file = pf::fopen(name.c_str(), "wb+");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(pf::fseek(file, 0, pf::kSeekEnd), 0);
  EXPECT_EQ(pf::ftell(file), 0);
  EXPECT_EQ(pf::fread(piece, 1, 1, file), 0u);
  EXPECT_EQ(pf::fclose(file), 0);
  std::remove(name.c_str());

  EXPECT_EQ(pf::fopen(name.c_str(), "rb"), nullptr);
}

}  // namespace
