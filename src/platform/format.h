// The one formatting engine behind Print, printf and sprintf. Internal to the
// platform layer: the program calls the functions of platform.h instead.
#pragma once

#include <stdarg.h>
#include <stddef.h>

namespace pf {

// Receives the formatted text in chunks, without a terminating zero.
template <typename Char>
struct FormatWriter {
  void* context;
  void (*write)(void* context, const Char* text, size_t count);
};

// Narrow rules: %d %i %u %x %X %c %s %% with the flags '-' '0' ' ' '+' '#', a
// width and a precision (each also '*'), and the lengths hh h l ll z, where
// 'l' is the target's long.
// Returns the number of characters produced, whether or not a writer took them.
int FormatNarrow(const FormatWriter<char>& writer, const char* format, va_list args);

// Wide rules: the same conversions, with %c a 16-bit character value passed as
// an int and %s a char16_t string; 'l' (or 'll') means a 64-bit argument on
// every target, and without it integers are 32-bit int or unsigned.
int FormatWide(const FormatWriter<char16_t>& writer, const char16_t* format, va_list args);

}  // namespace pf
