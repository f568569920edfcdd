// The harness's trace files (--trace, --trace-ports) and the sinks that feed
// them and the embedding's trace hooks.
#pragma once

#include <stddef.h>

#include "platform/platform.h"
#include "sim/sim_types.h"

// Buffered line output to a trace file; firmware file writes are slow one by one.
struct TraceFile {
  pf::FILE* file;
  size_t used;
  bool failed;
  char buffer[8192];

  void Flush();
  void Append(const char* text, size_t count);
};

// Writes a harness file whole, whatever is left of the program's write budget.
size_t HarnessWrite(const void* data, size_t count, pf::FILE* file);

// A null path opens nothing and succeeds.
bool OpenTrace(const char* path, TraceFile* trace);
// False when a write or the close failed.
bool CloseTrace(TraceFile* trace);

// The line callbacks of the transaction and port traces (TraceSink::line).
void TraceLine(void*, const char* text);
void PortTraceLine(void*, const char* text);
