// The console through the system table's text output. The shell swaps ConOut
// when output is redirected, so it is looked up on every call.
#include "platform/line_ends.h"
#include "platform/provider.h"
#include "platform/uefi/uefi_provider.h"
#include "platform/uefi/uefi_support.h"

namespace {

constexpr size_t kChunk = 128;

efi::SimpleTextOutput* Out() { return uefi::g_system->con_out; }

LineEnds g_line_ends;

void OutputNarrow(const char* text, size_t count) {
  char16_t chunk[kChunk + 1];
  while (count > 0) {
    const size_t used = uefi::WidenChunk(text, count, chunk, kChunk + 1);
    if (chunk[0] != 0) Out()->output_string(Out(), chunk);
    text += used;
    count -= used;
  }
}

void OutputWide(const char16_t* text, size_t count) {
  char16_t chunk[kChunk + 1];
  while (count > 0) {
    const size_t used = uefi::CopyWideChunk(text, count, chunk, kChunk + 1);
    if (chunk[0] != 0) Out()->output_string(Out(), chunk);
    text += used;
    count -= used;
  }
}

}  // namespace

void PlatConsoleWriteNarrow(const char* text, size_t count) {
  g_line_ends.Translate(text, count, [](const auto* piece, size_t n) { OutputNarrow(piece, n); });
}

void PlatConsoleWriteWide(const char16_t* text, size_t count) {
  g_line_ends.Translate(text, count, [](const auto* piece, size_t n) { OutputWide(piece, n); });
}

void PlatConsoleClear() {
  g_line_ends.Break();
  Out()->clear_screen(Out());
}

void PlatConsoleSetCursor(unsigned column, unsigned row) {
  g_line_ends.Break();
  Out()->set_cursor_position(Out(), column, row);
}

void PlatConsoleSetAttribute(unsigned attribute) { Out()->set_attribute(Out(), attribute); }
