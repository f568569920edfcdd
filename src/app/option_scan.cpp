// The argument scan: one forward pass turning the command line into option
// fields of FlashState. Nothing is opened or sent to the hardware here.
#include "app/option_table.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

// The scan index is 8 bits wide.
constexpr int kMaxEntries = 255;

// Where the scan stopped and why, for the line after the refusal.
struct Stop {
  int index;
  const char* why;
};

int iRefuseParameter(char** argv, Stop stop) {
  vShowUsage();
  Print(u"\n\nWrong Parameter! Please try again!\n\n");
  if (argv == nullptr) {
    pf::printf("The command line has more than %d arguments.\n", kMaxEntries - 1);
  } else {
    vShowStoppedAt(stop.index, argv[stop.index], stop.why);
  }
  return 1;
}

// A size or offset the conversion read no digit of would silently become 0,
// which means "no size check" for an image and address 0 for /O. An entry
// that begins with '/' is an option, not a value, and keeps reading as 0.
bool bConvertValue(const char* text, int base, int64_t* value) {
  char* end = nullptr;
  *value = pf::strtol(text, &end, base);
  return end != text || text[0] == '/';
}

// The first row whose letters the entry starts with, after its '/'.
const ProgramOption* pFindOption(const char* entry) {
  for (size_t r = 0; r < kProgramOptionCount; ++r) {
    const char* letters = kProgramOptions[r].letters;
    size_t n = 0;
    // A mismatch at the entry's end stops the comparison there.
    while (letters[n] != '\0' && entry[n] == letters[n]) ++n;
    if (letters[n] == '\0') return &kProgramOptions[r];
  }
  return nullptr;
}

constexpr int kScanEnds = -1;
constexpr int kRefused = -2;

constexpr char kNoValue[] = " (its value is missing)";

// Reads the row's value entries after entry i and sets the row; returns the
// next index, kScanEnds or kRefused with *stop saying where and why.
int iTakeOption(const ProgramOption& row, int argc, char** argv, int i, Stop* stop) {
  const bool has_next = i + 1 < argc;
  OptionArgs args = {nullptr, 0, 0};
  int next = i + 1;
  *stop = {i, kNoValue};
  switch (row.value) {
    case OptionValue::kNone:
      break;
    case OptionValue::kDecimal:
    case OptionValue::kHexInPlace: {
      if (!has_next) return kRefused;
      const bool decimal = row.value == OptionValue::kDecimal;
      if (!bConvertValue(argv[i + 1], decimal ? 10 : 16, &args.number)) {
        *stop = {i + 1, decimal ? " (not a decimal number)" : " (not a hexadecimal number)"};
        return kRefused;
      }
      if (decimal) next = i + 2;
      break;
    }
    case OptionValue::kText:
      if (!has_next) return kRefused;
      args.text = argv[i + 1];
      next = i + 2;
      break;
    case OptionValue::kOptionalText:
      if (has_next) args.text = argv[i + 1];
      break;
    case OptionValue::kHexThenDecimal:
      if (!has_next) break;
      if (i + 2 >= argc) {
        *stop = {i, " (its second value is missing)"};
        return kRefused;
      }
      args.text = argv[i + 1];
      args.number = pf::strtol(argv[i + 1], nullptr, 16);
      args.second = pf::strtol(argv[i + 2], nullptr, 10);
      break;
  }
  if (!row.set(args)) {
    *stop = {i, " (its value is out of range)"};
    return kRefused;
  }
  return row.after == AfterOption::kScanEnds ? kScanEnds : next;
}

}  // namespace

bool bIsHelpRequest(int argc, char** argv) {
  if (argc != 2) return false;
  const char* a = argv[1];
  auto same = [](const char* x, const char* y) {
    while (*x != '\0' && *x == *y) ++x, ++y;
    return *x == *y;
  };
  return same(a, "/?") || same(a, "-?") || same(a, "--help");
}

int iScanArguments(int argc, char** argv) {
  if (argc > kMaxEntries) return iRefuseParameter(nullptr, {});
  uint8_t i = 1;
  while (i < argc) {
    const char* a = argv[i];
    if (a[0] == '/') {
      const ProgramOption* row = pFindOption(a + 1);
      if (row == nullptr) return iRefuseParameter(argv, {i, " (no such option)"});
      Stop stop;
      const int next = iTakeOption(*row, argc, argv, i, &stop);
      if (next == kRefused) return iRefuseParameter(argv, stop);
      if (next == kScanEnds) return -1;
      i = static_cast<uint8_t>(next);
      continue;
    }
    const char* previous = argv[i - 1];
    const char mark = previous[0] != '\0' ? previous[1] : '\0';
    if (mark == 'O' || mark == 'V') {
      i += 1;
      continue;
    }
    if (mark == 'R') return iRefuseParameter(argv, {i, " (not expected here)"});
    FlashState.ImagePath = a;
    FlashState.HasImage = 1;
    int64_t size_k = 0;
    if (i + 1 >= argc || argv[i + 1][0] == '/' || !bConvertValue(argv[i + 1], 10, &size_k)) {
      pf::printf("\n\rFile Size Paramter Lost, Please try again!\n\n");
      return 1;
    }
    FlashState.FileSizeK = static_cast<int32_t>(size_k);
    i += 2;
  }
  return -1;
}
