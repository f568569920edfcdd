// The harness's input files, the chip's status file, and the files it
// writes back whole.
#include "platform/platform.h"
#include "sim/harness_state.h"
#include "sim/sim_text.h"

bool ReadExact(const char* path, uint8_t* buffer, uint32_t size, const char* owner,
               TraceText* reason) {
  pf::FILE* file = pf::fopen(path, "rb");
  if (file == nullptr) {
    reason->Add("cannot open ");
    return false;
  }
  bool ok = pf::fseek(file, 0, pf::kSeekEnd) == 0 && pf::ftell(file) == static_cast<int64_t>(size);
  if (!ok) {
    reason->Add("wrong size (").Add(owner).Add(" takes ").Dec(size).Add(" bytes): ");
  } else if (pf::fseek(file, 0, pf::kSeekSet) != 0 || pf::fread(buffer, 1, size, file) != size) {
    reason->Add("cannot read ");
    ok = false;
  }
  pf::fclose(file);
  return ok;
}

// The chip's non-volatile status bits persist beside the flash file, so that
// the flash file stays a plain image: one line "NAME HH HH", the chip's name
// and its two status registers. A line for another chip is passed over: that
// chip's bits went with it.
namespace {
constexpr const char* kStatusSuffix = ".status";
}  // namespace

bool StatusPath(const char* flash_path, char* path, size_t size) {
  TextLine line(path, size);
  line.Add(flash_path).Add(kStatusSuffix);
  return line.Length() + 1 < size;
}

bool ReadStatusFile(const char* path, const FlashProfile* profile) {
  Harness& h = g_harness;
  h.restore_status = false;
  pf::FILE* file = pf::fopen(path, "rb");
  if (file == nullptr) return true;  // a chip fresh from the reel
  char text[64];
  const size_t n = pf::fread(text, 1, sizeof(text) - 1, file);
  pf::fclose(file);
  text[n] = '\0';
  char* fields[3];
  size_t count = 0;
  size_t at = 0;
  while (count < 3 && at < n && text[at] != '\n') {
    fields[count++] = text + at;
    while (at < n && text[at] != ' ' && text[at] != '\n') ++at;
    if (at < n && text[at] == ' ') text[at++] = '\0';
  }
  if (count != 3 || at + 1 != n || text[at] != '\n') return false;
  text[at] = '\0';
  uint64_t status1 = 0;
  uint64_t status2 = 0;
  if (!ParseUnsigned(fields[1], 16, 0xFF, &status1) ||
      !ParseUnsigned(fields[2], 16, 0xFF, &status2)) {
    return false;
  }
  if (!TextEqual(fields[0], FlashProfileName(profile))) return true;
  h.restore_status = true;
  h.restore1 = static_cast<uint8_t>(status1);
  h.restore2 = static_cast<uint8_t>(status2);
  return true;
}

bool WriteStatusFile(const char* path) {
  const FlashChip& chip = g_harness.chip;
  TraceText line;
  line.Add(FlashProfileName(chip.Profile())).Char(' ').Hex(chip.KeptStatus1());
  line.Char(' ').Hex(chip.KeptStatus2()).Char('\n');
  return WriteWhole(path, line.Text(), line.Length());
}

bool WriteWhole(const char* path, const void* bytes, size_t size) {
  pf::FILE* file = pf::OpenReplacement(path);
  if (file == nullptr) return false;
  if (pf::fwrite(bytes, 1, size, file) != size) {
    pf::DiscardReplacement(file);
    return false;
  }
  return pf::CommitReplacement(file) == 0;
}
