#include "sim/sim_text.h"

#include "sim/sim_types.h"

TextLine::TextLine(char* buffer, size_t capacity)
    : buffer_(buffer), capacity_(capacity), length_(0) {
  if (capacity_ != 0) buffer_[0] = '\0';
}

TextLine& TextLine::Char(char c) {
  if (length_ + 1 < capacity_) {
    buffer_[length_++] = c;
    buffer_[length_] = '\0';
  }
  return *this;
}

TextLine& TextLine::Add(const char* text) {
  while (*text != '\0') Char(*text++);
  return *this;
}

TextLine& TextLine::Hex(uint64_t value, unsigned digits) {
  char reversed[16];
  unsigned count = 0;
  do {
    reversed[count++] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (unsigned i = count; i < digits; ++i) Char('0');
  while (count != 0) Char(reversed[--count]);
  return *this;
}

TextLine& TextLine::Dec(uint64_t value, unsigned width) {
  char reversed[20];
  unsigned count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (unsigned i = count; i < width; ++i) Char(' ');
  while (count != 0) Char(reversed[--count]);
  return *this;
}

TextLine& TextLine::PadTo(size_t column) {
  do {
    Char(' ');
  } while (length_ < column && length_ + 1 < capacity_);
  return *this;
}

void TextLine::EmitTo(const TraceSink* sink) const {
  if (sink != nullptr && sink->line != nullptr) sink->line(sink->context, buffer_);
}

bool TextEqual(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool ParseUnsigned(const char* text, unsigned base, uint64_t limit, uint64_t* value) {
  if (text == nullptr) return false;
  if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  if (*text == '\0') return false;
  uint64_t result = 0;
  for (; *text != '\0'; ++text) {
    unsigned digit;
    const char c = *text;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (digit >= base || digit > limit) return false;
    if (result > (limit - digit) / base) return false;
    result = result * base + digit;
  }
  *value = result;
  return true;
}
