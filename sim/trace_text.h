// A fixed-size line builder for the board model's traces and the harness's
// messages. Freestanding: no formatting library is needed on the hot path.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct TraceSink;

class TraceText {
 public:
  static constexpr size_t kCapacity = 160;

  TraceText() : length_(0) { text_[0] = '\0'; }

  TraceText& Add(const char* text);
  // Lower-case hexadecimal with at least `digits` digits.
  TraceText& Hex(uint64_t value, unsigned digits = 2);
  TraceText& Dec(uint64_t value);
  TraceText& Char(char c);

  const char* Text() const { return text_; }
  size_t Length() const { return length_; }
  void Clear() {
    length_ = 0;
    text_[0] = '\0';
  }

  // Hands the line to the sink, if there is one.
  void EmitTo(const TraceSink* sink) const;

 private:
  char text_[kCapacity + 1];
  size_t length_;
};
