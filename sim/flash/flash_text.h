// Text helpers of the flash model: a bounded line builder for trace and
// listing lines, and the few string operations the fault options need.
// Freestanding, so no C library.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace flash_text {

// Builds a NUL-terminated line in a caller's buffer; text beyond the
// capacity is dropped.
class Line {
 public:
  Line(char* buffer, size_t capacity);

  Line& Add(const char* text);
  Line& Char(char c);
  // Lower-case hexadecimal, at least `digits` digits.
  Line& Hex(uint64_t value, unsigned digits);
  // Decimal, right-aligned in at least `width` columns.
  Line& Dec(uint64_t value, unsigned width = 0);
  // Blanks up to column `column` (at least one blank when already there).
  Line& PadTo(size_t column);

  size_t Length() const { return length_; }
  const char* Text() const { return buffer_; }

 private:
  char* buffer_;
  size_t capacity_;
  size_t length_;
};

bool Equal(const char* a, const char* b);
// Parses a whole text as an unsigned number: hexadecimal (an optional 0x
// prefix) for base 16, decimal for base 10. False on anything else.
bool ParseNumber(const char* text, unsigned base, uint64_t* value);

}  // namespace flash_text
