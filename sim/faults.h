// The --fault kinds: one table for the board's faults and the flash chip's,
// and the one place that splits KIND[:ARG].
#pragma once

#include <stddef.h>
#include <stdint.h>

struct SimOptions;
enum class ChipFault : uint8_t;

enum class FaultArgument : uint8_t {
  kNone,      // refused after a ':'
  kIgnored,   // anything after a ':' is accepted and has no effect
  kOptional,  // the row's default when absent
  kRequired,
};

struct FaultKind {
  const char* name;
  FaultArgument argument;
  uint8_t base;  // 10 or 16
  uint64_t min;
  uint64_t max;
  uint64_t default_argument;
  const char* argument_name;  // in --help
  // Exactly one of the two: a board fault changes the options before the
  // run; a chip fault goes to the flash chip, which knows its own size.
  void (*board)(SimOptions& options, uint64_t argument);
  ChipFault chip;
  const char* help;
};

size_t FaultKindCount();
const FaultKind& FaultKindAt(size_t index);

// KIND[:ARG] taken apart. kind is empty when the text starts with ':'; a
// kind too long for any row is cut short and matches none.
struct FaultText {
  char kind[32];
  const char* argument;  // after the ':', or null
};
FaultText SplitFault(const char* text);

// The row of a kind, or null.
const FaultKind* FindFault(const char* kind);

// The argument of a row, its default when absent. False when the row refuses
// it.
bool FaultArgumentValue(const FaultKind& row, const char* argument, uint64_t* value);

// Applies a board fault to the options, or keeps any other kind for the flash
// chip. Returns null, or the start of a one-line message that the fault's
// text completes.
const char* ScanFault(SimOptions& options, const char* text);
