// The board options of tolvi-sim: one table gives each option's name, value,
// setter, help line and default, and drives the scan, the defaults and
// --help. Everything is checked before anything is opened or run; a bad
// option is one line of text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/board.h"

struct SimOptions {
  BoardConfig board;
  const char* flash_path;
  const char* chip_name;  // null: the default chip
  const char* ec_ram_path;
  const char* trace_path;
  const char* trace_ports_path;
  bool list_chips;
  bool help;
  bool screen;
  // The console model's size (--screen-size COLSxROWS, 80x25).
  unsigned screen_columns;
  unsigned screen_rows;
  bool stats;
  // --fault kinds the board does not know; they belong to the flash chip.
  static constexpr size_t kMaxChipFaults = 16;
  const char* chip_faults[kMaxChipFaults];
  size_t chip_fault_count;
  // file-short: bytes the program may write to files before its writes come
  // up short; UINT64_MAX for no limit.
  uint64_t file_write_limit;
  // --interrupt-at: the port access (counted from 1) at which the host's
  // interrupt is raised; 0 for none.
  uint64_t interrupt_at;
  // The program's arguments (without a name for the program).
  int program_argc;
  char** program_argv;
};

// Splits argv (argv[0] being the harness) into board options and the
// program's arguments: board options are the arguments before "--"; without
// "--", the leading arguments that begin with "--" are board options and the
// rest belong to the program. Returns false with a one-line message in error.
bool ParseSimOptions(int argc, char** argv, SimOptions* options, char* error, size_t error_size);

// The options with no option given; board, their board part. Every default
// is written once, in the option table.
void DefaultSimOptions(SimOptions* options);
BoardConfig DefaultBoardConfig();

// The text of --help, built from the option and fault tables; calls write
// once per piece.
void WriteSimUsage(void (*write)(void* context, const char* text), void* context);
