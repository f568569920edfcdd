// Console routing: every console call goes either to the provider's console or,
// while one is installed, to a sink (the board harness's screen model, a test).
#include "platform/format.h"
#include "platform/platform.h"
#include "platform/provider.h"

namespace {

const ConsoleSink* g_sink = nullptr;

void WriteNarrow(void*, const char* text, size_t count) {
  if (g_sink == nullptr) {
    PlatConsoleWriteNarrow(text, count);
  } else if (g_sink->write_narrow != nullptr) {
    g_sink->write_narrow(g_sink->context, text, count);
  }
}

void WriteWide(void*, const char16_t* text, size_t count) {
  if (g_sink == nullptr) {
    PlatConsoleWriteWide(text, count);
  } else if (g_sink->write_wide != nullptr) {
    g_sink->write_wide(g_sink->context, text, count);
  }
}

constexpr pf::FormatWriter<char> kNarrowConsole = {nullptr, WriteNarrow};
constexpr pf::FormatWriter<char16_t> kWideConsole = {nullptr, WriteWide};

}  // namespace

void PlatSetConsoleSink(const ConsoleSink* sink) { g_sink = sink; }

void Print(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  pf::FormatWide(kWideConsole, format, args);
  va_end(args);
}

void ClearScreen() {
  if (g_sink == nullptr) {
    PlatConsoleClear();
  } else if (g_sink->clear != nullptr) {
    g_sink->clear(g_sink->context);
  }
}

void SetCursorPosition(unsigned column, unsigned row) {
  if (g_sink == nullptr) {
    PlatConsoleSetCursor(column, row);
  } else if (g_sink->set_cursor != nullptr) {
    g_sink->set_cursor(g_sink->context, column, row);
  }
}

void SetAttribute(unsigned attribute) {
  if (g_sink == nullptr) {
    PlatConsoleSetAttribute(attribute);
  } else if (g_sink->set_attribute != nullptr) {
    g_sink->set_attribute(g_sink->context, attribute);
  }
}

bool PauseForReader(const char16_t* prompt) {
  if (g_sink == nullptr) return PlatConsolePause(prompt);
  return g_sink->pause != nullptr && g_sink->pause(g_sink->context, prompt);
}

namespace pf {

int vprintf(const char* format, va_list args) { return FormatNarrow(kNarrowConsole, format, args); }

int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int total = vprintf(format, args);
  va_end(args);
  return total;
}

}  // namespace pf
