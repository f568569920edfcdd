#include "sim/harness_trace.h"

#include "sim/harness_state.h"

static_assert(sizeof(size_t) == sizeof(uint64_t), "the write budget is read back through size_t");

// The harness's own files are never cut short by the program's write budget
// (file-short): it takes what is left of the budget, writes, and puts it back.
size_t HarnessWrite(const void* data, size_t count, pf::FILE* file) {
  const uint64_t budget = PlatFileWriteAllowance(SIZE_MAX);  // SIZE_MAX: unlimited
  PlatSetFileWriteLimit(UINT64_MAX);
  const size_t written = pf::fwrite(data, 1, count, file);
  PlatSetFileWriteLimit(budget);
  return written;
}

void TraceFile::Flush() {
  if (file != nullptr && used > 0 && HarnessWrite(buffer, used, file) != used) failed = true;
  used = 0;
}

void TraceFile::Append(const char* text, size_t count) {
  if (used + count > sizeof(buffer)) Flush();
  if (count > sizeof(buffer)) {
    if (HarnessWrite(text, count, file) != count) failed = true;
    return;
  }
  __builtin_memcpy(buffer + used, text, count);
  used += count;
}

namespace {

// A trace line goes to its file, if one was named, and to the host's hook.
void EmitTraceLine(TraceFile& file, const TraceSink* hook, const char* text) {
  if (file.file != nullptr) {
    file.Append(text, HarnessTextLength(text));
    file.Append("\n", 1);
  }
  if (hook != nullptr) hook->line(hook->context, text);
}

}  // namespace

void TraceLine(void*, const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  EmitTraceLine(g_harness.trace_file, hooks != nullptr ? hooks->trace : nullptr, text);
}

void PortTraceLine(void*, const char* text) {
  Harness& h = g_harness;
  const SimHooks* hooks = h.hooks;
  // Each port access is one line, so the count is the line's number.
  if (++h.port_accesses == h.options.interrupt_at && hooks != nullptr &&
      hooks->interrupt != nullptr) {
    hooks->interrupt(hooks->context);
  }
  EmitTraceLine(g_harness.port_trace_file, hooks != nullptr ? hooks->port_trace : nullptr, text);
}

bool OpenTrace(const char* path, TraceFile* trace) {
  trace->used = 0;
  trace->failed = false;
  trace->file = nullptr;
  if (path == nullptr) return true;
  trace->file = pf::fopen(path, "wb+");
  return trace->file != nullptr;
}

bool CloseTrace(TraceFile* trace) {
  if (trace->file == nullptr) return true;
  trace->Flush();
  bool ok = !trace->failed;
  if (pf::fclose(trace->file) != 0) ok = false;
  trace->file = nullptr;
  return ok;
}
