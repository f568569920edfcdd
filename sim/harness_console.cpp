// The harness's own output, and the console sink between the program and the
// screen model.
#include "platform/platform.h"
#include "sim/harness_state.h"
#include "sim/sim_text.h"

void HarnessOut(const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  if (hooks != nullptr && hooks->out != nullptr) {
    hooks->out(hooks->context, text, HarnessTextLength(text));
  } else {
    PlatConsoleWriteNarrow(text, HarnessTextLength(text));
  }
}

void HarnessErr(const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  if (hooks != nullptr && hooks->err != nullptr) {
    hooks->err(hooks->context, text, HarnessTextLength(text));
  } else {
    PlatConsoleWriteNarrow(text, HarnessTextLength(text));
  }
}

int HarnessError(const char* what, const char* argument) {
  TraceText line;
  line.Add("tolvi-sim: ").Add(what);
  if (argument != nullptr) line.Add(argument);
  line.Char('\n');
  HarnessErr(line.Text());
  return kSimHarnessError;
}

namespace {

// The screen model sees every console call, with line ends as the firmware's
// print library makes them; the program's own text goes on to the embedding's
// sink, or to the provider's console unless --screen asked for the final
// picture instead.
const ConsoleSink* Forward() {
  const SimHooks* hooks = g_harness.hooks;
  return hooks != nullptr ? hooks->console : nullptr;
}
bool PassThrough() { return !g_harness.options.screen; }

void SinkNarrow(void*, const char* text, size_t count) {
  g_console.PrintNarrow(text, count);
  if (const ConsoleSink* next = Forward()) {
    if (next->write_narrow != nullptr) next->write_narrow(next->context, text, count);
  } else if (PassThrough()) {
    PlatConsoleWriteNarrow(text, count);
  }
}
void SinkWide(void*, const char16_t* text, size_t count) {
  g_console.PrintWide(text, count);
  if (const ConsoleSink* next = Forward()) {
    if (next->write_wide != nullptr) next->write_wide(next->context, text, count);
  } else if (PassThrough()) {
    PlatConsoleWriteWide(text, count);
  }
}
void SinkClear(void*) {
  g_console.Clear();
  if (const ConsoleSink* next = Forward()) {
    if (next->clear != nullptr) next->clear(next->context);
  } else if (PassThrough()) {
    PlatConsoleClear();
  }
}
void SinkCursor(void*, unsigned column, unsigned row) {
  g_console.SetCursor(column, row);
  if (const ConsoleSink* next = Forward()) {
    if (next->set_cursor != nullptr) next->set_cursor(next->context, column, row);
  } else if (PassThrough()) {
    PlatConsoleSetCursor(column, row);
  }
}
void SinkAttribute(void*, unsigned attribute) {
  g_console.SetAttribute(attribute);
  if (const ConsoleSink* next = Forward()) {
    if (next->set_attribute != nullptr) next->set_attribute(next->context, attribute);
  } else if (PassThrough()) {
    PlatConsoleSetAttribute(attribute);
  }
}

// A person at the provider's console may be asked for a key; the picture of
// --screen and an embedding's capture are read afterwards. The prompt is
// taken off again, but its line end stays on the screen.
bool SinkPause(void*, const char16_t* prompt) {
  bool paused = false;
  if (const ConsoleSink* next = Forward()) {
    paused = next->pause != nullptr && next->pause(next->context, prompt);
  } else if (PassThrough()) {
    paused = PlatConsolePause(prompt);
  }
  if (paused) g_console.PrintWide(u"\n\r", 2);
  return paused;
}

}  // namespace

ConsoleSink HarnessConsoleSink() {
  return ConsoleSink{nullptr,    SinkNarrow,    SinkWide, SinkClear,
                     SinkCursor, SinkAttribute, SinkPause};
}
