#include "sim/trace_text.h"

#include "sim/sim_types.h"

TraceText& TraceText::Char(char c) {
  // Lines longer than the capacity are cut; no trace line comes near it.
  if (length_ < kCapacity) {
    text_[length_++] = c;
    text_[length_] = '\0';
  }
  return *this;
}

TraceText& TraceText::Add(const char* text) {
  while (*text != '\0') Char(*text++);
  return *this;
}

TraceText& TraceText::Hex(uint64_t value, unsigned digits) {
  static const char kDigits[] = "0123456789abcdef";
  char reversed[16];
  unsigned count = 0;
  do {
    reversed[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0 && count < sizeof(reversed));
  for (unsigned i = count; i < digits && i < sizeof(reversed); ++i) Char('0');
  while (count > 0) Char(reversed[--count]);
  return *this;
}

TraceText& TraceText::Dec(uint64_t value) {
  char reversed[20];
  unsigned count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) Char(reversed[--count]);
  return *this;
}

void TraceText::EmitTo(const TraceSink* sink) const {
  if (sink != nullptr && sink->line != nullptr) sink->line(sink->context, text_);
}
