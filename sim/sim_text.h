// Text helpers of the board model: a bounded line builder for trace lines,
// chip listings and harness messages, and the string tests the option and
// fault scans need. Freestanding, so no C library. The models build a line
// only when someone reads it, so tracing off costs nothing here.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct TraceSink;

// Builds a NUL-terminated line in a caller's buffer; text beyond the
// capacity is dropped.
class TextLine {
 public:
  TextLine(char* buffer, size_t capacity);
  TextLine(const TextLine&) = delete;
  TextLine& operator=(const TextLine&) = delete;

  TextLine& Add(const char* text);
  TextLine& Char(char c);
  // Lower-case hexadecimal, at least `digits` digits.
  TextLine& Hex(uint64_t value, unsigned digits = 2);
  // Decimal, right-aligned in at least `width` columns.
  TextLine& Dec(uint64_t value, unsigned width = 0);
  // Blanks up to column `column` (at least one blank when already there).
  TextLine& PadTo(size_t column);

  size_t Length() const { return length_; }
  const char* Text() const { return buffer_; }

  // Hands the line to the sink, if there is one.
  void EmitTo(const TraceSink* sink) const;

 private:
  char* buffer_;
  size_t capacity_;
  size_t length_;
};

// The storage is a base listed before TextLine, so that it exists before the
// line points into it; it is left uninitialised, as a trace line on the hot
// path should cost no more than its characters.
struct TraceTextStorage {
  // No trace line or harness message comes near it.
  static constexpr size_t kCapacity = 160;
  char storage[kCapacity + 1];
};

// A line with its own storage, for the models' traces and the harness's
// messages.
class TraceText : private TraceTextStorage, public TextLine {
 public:
  using TraceTextStorage::kCapacity;

  TraceText() : TextLine(storage, sizeof(storage)) {}
};

bool TextEqual(const char* a, const char* b);

// Parses a whole text as an unsigned number no greater than `limit`:
// hexadecimal (an optional 0x prefix) for base 16, decimal for base 10.
// "12x", "" and a null text are refused, not read as 12 or 0.
bool ParseUnsigned(const char* text, unsigned base, uint64_t limit, uint64_t* value);
