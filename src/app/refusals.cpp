// The line after a refusal that names its cause. The refusal's own text stays
// as scripts know it; the cause follows on a line of its own. Arguments and
// file names are shown as typed, but safely: whatever a shell lets through
// (control bytes, escapes, a name of a thousand characters) must neither
// drive the console nor push a line past column 79.
#include "platform/platform.h"
#include "tolvi.h"

namespace {

constexpr size_t kScreenColumns = 79;
constexpr char kCut[] = "...";
constexpr size_t kCutLength = sizeof kCut - 1;

size_t ShownWidth(unsigned char c) { return c >= 0x20 && c < 0x7F ? 1 : 4; }

// Prints "text" between double quotes within `columns` columns, quotes
// included.
void vPrintQuoted(const char* text, size_t columns) {
  char shown[kScreenColumns + 1];
  const size_t room = columns > 2 ? columns - 2 : 0;
  size_t whole = 0;
  for (const char* p = text; *p != '\0'; ++p) whole += ShownWidth(static_cast<unsigned char>(*p));
  const size_t limit = whole <= room ? room : (room > kCutLength ? room - kCutLength : 0);
  size_t used = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (used + ShownWidth(c) > limit) break;
    if (ShownWidth(c) == 1) {
      shown[used++] = static_cast<char>(c);
    } else {
      used += static_cast<size_t>(pf::snprintf(shown + used, 5, "\\x%02X", c));
    }
  }
  if (whole > room) {
    for (size_t i = 0; i < kCutLength && used < room; ++i) shown[used++] = kCut[i];
  }
  shown[used] = '\0';
  pf::printf("\"%s\"", shown);
}

}  // namespace

void vShowFileOpenFail(const char* path) {
  Print(u"\n\rFile Open Fail!");
  if (path == nullptr) {
    Print(u"\n\rNo file name was given.");
    return;
  }
  // A folder or a device has a name that exists, so "cannot open" alone
  // would send the person looking for a missing file.
  const bool special = pf::IsSpecialFile(path);
  const char* before = special ? "\n\r" : "\n\rCannot open ";
  const char* after = special ? " is a folder or a device, not a file." : ".";
  pf::printf("%s", before);
  vPrintQuoted(path, kScreenColumns - (pf::strlen(before) - 2) - pf::strlen(after));
  pf::printf("%s", after);
  const char16_t* note = FileLookupNote();
  if (note != nullptr) Print(u"\n\r%s", note);
}

void vShowSizeMismatch(uint64_t file_bytes, int32_t size_k) {
  pf::printf("\n\rParamter NOT Match with File Size, Please try again!\n\n");
  // The check compares whole K rounded up; the bytes past the last whole K
  // say why a file of "64K and 1 byte" wants 65 on the command line.
  const unsigned long long whole_k = file_bytes >> 10;
  const unsigned rest = static_cast<unsigned>(file_bytes & 0x3FF);
  pf::printf("The file holds %lluK", whole_k);
  if (rest != 0) pf::printf(" and %u byte%s", rest, rest == 1 ? "" : "s");
  pf::printf("; the command line says %dK.\n", static_cast<int>(size_k));
}

void vShowStoppedAt(int index, const char* entry, const char* why) {
  char prefix[32];
  const int length = pf::snprintf(prefix, sizeof prefix, "Stopped at argument %d: ", index);
  pf::printf("%s", prefix);
  vPrintQuoted(entry, kScreenColumns - static_cast<size_t>(length) - pf::strlen(why));
  pf::printf("%s\n", why);
}

void vShowNoOperation() {
  Print(u"\n\rFlash Update Fail!");
  Print(u"\n\rNo operation was named: give an image and its size, /S, /T, /PB, /V or /c.");
}
