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

namespace {

void vErasePrompt(size_t columns) {
  static const char16_t kBlanks[] = u"\r                                        ";
  PlatConsoleWriteWide(kBlanks, 1);
  for (size_t left = columns; left > 0;) {
    const size_t n = left < 40 ? left : 40;
    PlatConsoleWriteWide(kBlanks + 1, n);
    left -= n;
  }
  PlatConsoleWriteWide(kBlanks, 1);
}

}  // namespace

// Only the shell knows whether a person reads the screen: a script it runs
// presses no keys, and with "> file" or "| more" the prompt would go where no
// one sees it. Its console handles have no file information; a file or a
// pipe's buffer has.
bool PlatConsolePause(const char16_t* prompt) {
  efi::Shell* shell = uefi::g_shell;
  efi::SimpleTextInput* in = uefi::g_system->con_in;
  if (shell == nullptr || uefi::g_parameters == nullptr || in == nullptr) return false;
  if (shell->batch_is_active() != 0) return false;
  void* info = shell->get_file_info(uefi::g_parameters->std_out);
  if (info != nullptr) {
    uefi::g_boot->free_pool(info);
    return false;
  }
  PlatConsoleWriteWide(u"\n\r", 2);
  PlatConsoleWriteWide(prompt, uefi::WideLength(prompt));
  // Keys pressed before the prompt was there do not answer it.
  efi::InputKey key;
  while (in->read_key_stroke(in, &key) == efi::kSuccess) {
  }
  uint64_t index = 0;
  efi::Event event = in->wait_for_key;
  uefi::g_boot->wait_for_event(1, &event, &index);
  in->read_key_stroke(in, &key);
  vErasePrompt(uefi::WideLength(prompt));
  return true;
}
