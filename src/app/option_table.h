// The program's options, one row each: the letters after the '/', the value
// the option takes, what it sets, and its line in the extended help. The scan
// and the help both read this table; an option is one row plus its operation.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum class OptionValue : uint8_t {
  kNone,
  // The next entry as decimal, consumed; refused when absent or digitless.
  kDecimal,
  // The next entry as hexadecimal, refused like kDecimal but left in place:
  // the predecessor rule passes over it.
  kHexInPlace,
  // The next entry as text, consumed; refused when absent.
  kText,
  // The next entry as text when there is one.
  kOptionalText,
  // None, or two entries: hexadecimal then decimal, refused when the second
  // is absent. Converted as they stand, digits or not.
  kHexThenDecimal,
};

enum class AfterOption : uint8_t {
  kScanOn,
  // Nothing after the option is examined.
  kScanEnds,
};

// What the scan read for a row; text is the first value entry, null without
// one.
struct OptionArgs {
  const char* text;
  int64_t number;
  int64_t second;
};

struct ProgramOption {
  // Case matters; characters after them in the entry are ignored.
  const char* letters;
  OptionValue value;
  AfterOption after;
  // Stores the option in FlashState; false refuses its value.
  bool (*set)(const OptionArgs& args);
  // The extended help's line, an example and what it does; null for the
  // options the usage shows.
  const char16_t* help_example;
  const char16_t* help;
};

// In the order the scan tests them.
extern const ProgramOption kProgramOptions[];
extern const size_t kProgramOptionCount;
