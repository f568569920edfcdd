// tolvi-sim: runs the program against the board model.
//
//   tolvi-sim [BOARD OPTIONS] -- [TOLVI ARGUMENTS]
//
// Freestanding, so the UEFI build of the harness calls SimMain as well.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/provider.h"
#include "sim/sim_types.h"

class Board;
class ConsoleModel;
class FlashChip;

// Exit status of a harness error (bad option, unreadable input file, flash
// file that cannot be written back); apart from the program's own 0, 1 and 2.
constexpr int kSimHarnessError = 3;

// What an embedding (the hosted main, the test fixture) can see of a finished
// run, before the flash file is written back.
struct SimRunView {
  int status;  // the program's exit status
  const Board* board;
  const FlashChip* chip;
  const ConsoleModel* screen;
  const uint8_t* flash;
  uint32_t flash_size;
  const SimCounters* counters;
  const SimClock* clock;
};

// Optional hooks; any member may be null.
struct SimHooks {
  void* context;
  // Receives the program's console output in place of the provider's
  // console (the screen model is fed either way).
  const ConsoleSink* console;
  // Standard output and error of the harness itself (usage, chip list, the
  // --screen picture; error lines and --stats). Null: the provider's console.
  void (*out)(void* context, const char* text, size_t count);
  void (*err)(void* context, const char* text, size_t count);
  // Extra receivers of the transaction and port traces.
  const TraceSink* trace;
  const TraceSink* port_trace;
  void (*finished)(void* context, const SimRunView* view);
  // Raises the host's interrupt (--interrupt-at); null where there is none.
  void (*interrupt)(void* context);
};

// Hooks for the following SimMain calls; null removes them. Not copied.
void SimSetHooks(const SimHooks* hooks);

// argv[0] is the harness's own name. Returns the program's exit status, or
// kSimHarnessError.
int SimMain(int argc, char** argv);
