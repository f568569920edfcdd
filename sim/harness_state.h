// The harness's run state, shared by its parts (console, traces, files,
// screen, statistics). Internal to the harness: embeddings see harness.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/board.h"
#include "sim/console_model.h"
#include "sim/flash/flash_chip.h"
#include "sim/harness.h"
#include "sim/harness_options.h"
#include "sim/harness_trace.h"
#include "sim/sim_text.h"

// Everything a run needs lives here, in static storage: the harness allocates
// nothing but the flash contents and the program's argument vector.
struct Harness {
  const SimHooks* hooks;
  SimOptions options;
  SimClock clock;
  SimCounters counters;
  Board board;
  FlashChip chip;
  ConsoleSink console_sink;
  TraceSink trace_sink;
  TraceSink port_trace_sink;
  TraceFile trace_file;
  TraceFile port_trace_file;
  uint64_t port_accesses;  // counted for --interrupt-at
  uint8_t ec_ram[EcModel::kRamSize];
  // The status file beside the flash file, and what it held for this chip.
  char status_path[300];
  bool restore_status;
  uint8_t restore1;
  uint8_t restore2;
};

extern Harness g_harness;
// All zeros until a run sizes it: kept out of the harness so that its cells
// cost the UEFI image no file space.
extern ConsoleModel g_console;

inline size_t HarnessTextLength(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

// The harness's own standard output and error (the embedding's hooks, or the
// provider's console).
void HarnessOut(const char* text);
void HarnessErr(const char* text);
// Reports "tolvi-sim: WHAT[ARGUMENT]" and returns kSimHarnessError.
int HarnessError(const char* what, const char* argument);

// The sink the program's console calls reach during a run: the screen model,
// then the embedding or the provider's console.
ConsoleSink HarnessConsoleSink();

// Reads a whole file of exactly `size` bytes. Returns false with the reason,
// ending where the file's name follows.
bool ReadExact(const char* path, uint8_t* buffer, uint32_t size, const char* owner,
               TraceText* reason);

// The status file beside the flash file. StatusPath is false for a name too
// long; ReadStatusFile sets what the run restores, false for a file that is
// not a status line; WriteStatusFile keeps the chip's bits for the next run.
bool StatusPath(const char* flash_path, char* path, size_t size);
bool ReadStatusFile(const char* path, const FlashProfile* profile);
bool WriteStatusFile(const char* path);
// Replaces the file at `path` with `size` bytes, whole or not at all: a run
// cut off while writing leaves the file of the run before.
bool WriteWhole(const char* path, const void* bytes, size_t size);

// After the run: the final screen (--screen) and the counters (--stats).
void PrintScreen();
void PrintStats();
