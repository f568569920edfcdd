// The argument scan: one forward pass turning the command line into option
// fields of FlashState. Nothing is opened or sent to the hardware here.
#include "platform/platform.h"
#include "tolvi.h"

namespace {

// The scan index is 8 bits wide.
constexpr int kMaxEntries = 255;
// EC RAM is 256 bytes; a longer version read would wrap onto itself.
constexpr int64_t kMaxVersionLength = 256;

int iRefuseParameter() {
  vShowUsage();
  Print(u"\n\nWrong Parameter! Please try again!\n\n");
  return 1;
}

int64_t llDecimal(const char* text) { return pf::strtol(text, nullptr, 10); }
int64_t llHex(const char* text) { return pf::strtol(text, nullptr, 16); }

// A size or offset the conversion read no digit of would silently become 0,
// which means "no size check" for an image and address 0 for /O. An entry
// that begins with '/' is an option, not a value, and keeps reading as 0.
bool bConvertValue(const char* text, int base, int64_t* value) {
  char* end = nullptr;
  *value = pf::strtol(text, &end, base);
  return end != text || text[0] == '/';
}

// The /V family ends the scan; returns -1 or a refusal's status.
int iScanVersionForm(int argc, char** argv, int i) {
  const char* a = argv[i];
  FlashState.VersionMode = 1;
  bool has_next = i + 1 < argc;
  if (a[2] == 'B' && a[3] == 'F') {
    if (!has_next) return iRefuseParameter();
    FlashState.BramMode = 1;
    FlashState.BramFileMode = 1;
    FlashState.ImagePath = argv[i + 1];
  } else if (a[2] == 'B') {
    FlashState.BramMode = 1;
    if (has_next) FlashState.CompareVersion = argv[i + 1];
  } else if (a[2] == 'C') {
    FlashState.VersionStringMode = 1;
  } else if (has_next) {
    FlashState.VersionOffset = llHex(argv[i + 1]);
    if (i + 2 >= argc) return iRefuseParameter();
    FlashState.VersionLength = llDecimal(argv[i + 2]);
    if (FlashState.VersionLength < 0 || FlashState.VersionLength > kMaxVersionLength) {
      return iRefuseParameter();
    }
  }
  return -1;
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
  if (argc > kMaxEntries) return iRefuseParameter();
  uint8_t i = 1;
  while (i < argc) {
    const char* a = argv[i];
    if (a[0] == '/' && a[1] == 'V') return iScanVersionForm(argc, argv, i);
    if (a[0] == '/') {
      const char b = a[1];
      // a[2] is only looked at when a[1] is a letter, so it is in the string.
      if (b == 'S') {
        if (i + 1 >= argc) return iRefuseParameter();
        FlashState.SaveMode = 1;
        int64_t size_k = 0;
        if (!bConvertValue(argv[i + 1], 10, &size_k)) return iRefuseParameter();
        FlashState.FileSizeK = static_cast<int32_t>(size_k);
        i += 2;
        continue;
      }
      if (b == 'c') {
        FlashState.ChecksumMode = 1;
        return -1;
      }
      if (b == 'B' && a[2] == 'K') {
        FlashState.BbkMode = 1;
      } else if (b == 'M' && a[2] == 'n') {
        FlashState.MainMode = 1;
      } else if (b == 'B' && a[2] == 'p') {
        FlashState.BackupMode = 1;
      } else if (b == 'P' && a[2] == 'B') {
        FlashState.ProtectMode = 1;
      } else if (b == 'T') {
        FlashState.TestMode = 1;
      } else if (b == 'O') {
        // The value entry is not consumed: the predecessor rule skips it.
        if (i + 1 >= argc) return iRefuseParameter();
        if (!bConvertValue(argv[i + 1], 16, &FlashState.StartOffset)) return iRefuseParameter();
      } else if (b == 'j') {
        FlashState.NoReset = 1;
      } else if (b == 'k') {
        FlashState.SkipKbc = 1;
      } else if (b == 'e') {
        FlashState.AltEnterMode = 1;
      } else if (b == 'D') {
        FlashState.CompareMode = 1;
      } else if (b == 'U') {
        FlashState.ChangedOnlyMode = 1;
      } else {
        return iRefuseParameter();
      }
      i += 1;
      continue;
    }
    const char* previous = argv[i - 1];
    const char mark = previous[0] != '\0' ? previous[1] : '\0';
    if (mark == 'O' || mark == 'V') {
      i += 1;
      continue;
    }
    if (mark == 'R') return iRefuseParameter();
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
