// The formatting engine: one parser and one set of conversions for both
// character widths, writing through a small stack buffer so that no heap is
// needed and the console sees a few large writes instead of many small ones.
#include "platform/format.h"

#include <stdint.h>

#include "platform/platform.h"

namespace {

constexpr size_t kChunk = 64;

template <typename Char>
class Emitter {
 public:
  explicit Emitter(const pf::FormatWriter<Char>& writer) : writer_(writer) {}

  void Put(Char c) {
    if (used_ == kChunk) Flush();
    buffer_[used_++] = c;
    ++total_;
  }
  void Repeat(Char c, int count) {
    for (; count > 0; --count) Put(c);
  }
  void Flush() {
    if (used_ != 0 && writer_.write != nullptr) writer_.write(writer_.context, buffer_, used_);
    used_ = 0;
  }
  int total() const { return total_ > INT32_MAX ? INT32_MAX : static_cast<int>(total_); }

 private:
  const pf::FormatWriter<Char>& writer_;
  Char buffer_[kChunk];
  size_t used_ = 0;
  size_t total_ = 0;
};

struct Field {
  bool left;
  bool zero;
  bool plus;
  bool space;
  bool alternate;
  int width;
  int precision;  // -1: none given
};

enum class Length { kDefault, kChar, kShort, kLong, kLongLong, kSize };

template <typename Char>
void EmitInteger(Emitter<Char>& out, const Field& field, uint64_t magnitude, bool negative,
                 bool is_signed, unsigned base, bool upper) {
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[24];
  int count = 0;
  const bool has_value = magnitude != 0;
  // An explicit zero precision prints no digit for the value 0, as in C.
  if (has_value || field.precision != 0) {
    do {
      digits[count++] = symbols[magnitude % base];
      magnitude /= base;
    } while (magnitude != 0);
  }
  char sign = 0;
  if (is_signed) {
    if (negative) {
      sign = '-';
    } else if (field.plus) {
      sign = '+';
    } else if (field.space) {
      sign = ' ';
    }
  }
  const bool prefix = field.alternate && base == 16 && has_value;
  const int zeros = field.precision > count ? field.precision - count : 0;
  const int length = (sign != 0 ? 1 : 0) + (prefix ? 2 : 0) + zeros + count;
  const int pad = field.width > length ? field.width - length : 0;
  // A precision switches the '0' flag off for integers.
  const bool zero_pad = field.zero && !field.left && field.precision < 0;

  if (!field.left && !zero_pad) out.Repeat(' ', pad);
  if (sign != 0) out.Put(static_cast<Char>(sign));
  if (prefix) {
    out.Put('0');
    out.Put(upper ? 'X' : 'x');
  }
  if (zero_pad) out.Repeat('0', pad);
  out.Repeat('0', zeros);
  while (count > 0) out.Put(static_cast<Char>(digits[--count]));
  if (field.left) out.Repeat(' ', pad);
}

template <typename Char, typename Text>
void EmitText(Emitter<Char>& out, const Field& field, const Text* text) {
  static const Text kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (text == nullptr) text = kNull;
  int length = 0;
  while (text[length] != 0 && (field.precision < 0 || length < field.precision)) ++length;
  const int pad = field.width > length ? field.width - length : 0;
  if (!field.left) out.Repeat(' ', pad);
  for (int i = 0; i < length; ++i) out.Put(static_cast<Char>(text[i]));
  if (field.left) out.Repeat(' ', pad);
}

template <typename Char>
void EmitCharacter(Emitter<Char>& out, const Field& field, Char c) {
  const int pad = field.width > 1 ? field.width - 1 : 0;
  if (!field.left) out.Repeat(' ', pad);
  out.Put(c);
  if (field.left) out.Repeat(' ', pad);
}

template <typename Char>
int ParseNumber(const Char*& p) {
  int value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < 100000000) value = value * 10 + (*p - '0');
    ++p;
  }
  return value;
}

// kWide selects the console's rules: 64-bit 'l', 16-bit %c, char16_t %s.
template <typename Char, bool kWide>
int Format(const pf::FormatWriter<Char>& writer, const Char* format, va_list args) {
  Emitter<Char> out(writer);
  const Char* p = format;
  while (*p != 0) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    const Char* start = p++;
    Field field = {false, false, false, false, false, 0, -1};
    for (;; ++p) {
      if (*p == '-') {
        field.left = true;
      } else if (*p == '0') {
        field.zero = true;
      } else if (*p == '+') {
        field.plus = true;
      } else if (*p == ' ') {
        field.space = true;
      } else if (*p == '#') {
        field.alternate = true;
      } else {
        break;
      }
    }
    if (*p == '*') {
      ++p;
      field.width = va_arg(args, int);
      if (field.width < 0) {
        field.left = true;
        field.width = field.width == INT32_MIN ? INT32_MAX : -field.width;
      }
    } else {
      field.width = ParseNumber(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        field.precision = va_arg(args, int);
        if (field.precision < 0) field.precision = -1;
      } else {
        field.precision = ParseNumber(p);
      }
    }
    Length length = Length::kDefault;
    if (*p == 'h') {
      ++p;
      length = Length::kShort;
      if (*p == 'h') {
        ++p;
        length = Length::kChar;
      }
    } else if (*p == 'l') {
      ++p;
      length = Length::kLong;
      if (*p == 'l') {
        ++p;
        length = Length::kLongLong;
      }
    } else if (*p == 'z') {
      ++p;
      length = Length::kSize;
    }
    if (kWide && length == Length::kLong) length = Length::kLongLong;

    const Char conversion = *p;
    if (conversion == 0) {
      // A format that ends inside a conversion is printed as written.
      while (start != p) out.Put(*start++);
      break;
    }
    ++p;
    switch (conversion) {
      case 'd':
      case 'i': {
        int64_t value;
        switch (length) {
          case Length::kChar:
            value = static_cast<signed char>(va_arg(args, int));
            break;
          case Length::kShort:
            value = static_cast<short>(va_arg(args, int));
            break;
          case Length::kLong:
            value = va_arg(args, long);
            break;
          case Length::kLongLong:
            value = va_arg(args, long long);
            break;
          case Length::kSize:
            value = static_cast<ptrdiff_t>(va_arg(args, size_t));
            break;
          default:
            value = va_arg(args, int);
            break;
        }
        // Negating in unsigned arithmetic keeps INT64_MIN exact.
        const uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        EmitInteger(out, field, magnitude, value < 0, true, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t value;
        switch (length) {
          case Length::kChar:
            value = static_cast<unsigned char>(va_arg(args, unsigned));
            break;
          case Length::kShort:
            value = static_cast<unsigned short>(va_arg(args, unsigned));
            break;
          case Length::kLong:
            value = va_arg(args, unsigned long);
            break;
          case Length::kLongLong:
            value = va_arg(args, unsigned long long);
            break;
          case Length::kSize:
            value = va_arg(args, size_t);
            break;
          default:
            value = va_arg(args, unsigned);
            break;
        }
        EmitInteger(out, field, value, false, false, conversion == 'u' ? 10 : 16,
                    conversion == 'X');
        break;
      }
      case 'c':
        if (kWide) {
          EmitCharacter(out, field, static_cast<Char>(static_cast<char16_t>(va_arg(args, int))));
        } else {
          EmitCharacter(out, field,
                        static_cast<Char>(static_cast<unsigned char>(va_arg(args, int))));
        }
        break;
      case 's':
        EmitText(out, field, va_arg(args, const Char*));
        break;
      case '%':
        out.Put('%');
        break;
      default:
        // Unknown conversions are shown as written, so a mistake is visible.
        while (start != p) out.Put(*start++);
        break;
    }
  }
  out.Flush();
  return out.total();
}

// Fills a caller's buffer, keeping room for the terminating zero.
struct BufferTarget {
  char* buffer;
  size_t room;
  size_t used;
};

void WriteToBuffer(void* context, const char* text, size_t count) {
  BufferTarget* target = static_cast<BufferTarget*>(context);
  const size_t left = target->room - target->used;
  const size_t take = count < left ? count : left;
  if (take != 0) __builtin_memcpy(target->buffer + target->used, text, take);
  target->used += take;
}

}  // namespace

namespace pf {

int FormatNarrow(const FormatWriter<char>& writer, const char* format, va_list args) {
  return Format<char, false>(writer, format, args);
}

int FormatWide(const FormatWriter<char16_t>& writer, const char16_t* format, va_list args) {
  return Format<char16_t, true>(writer, format, args);
}

int vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
  BufferTarget target = {buffer, size != 0 ? size - 1 : 0, 0};
  const FormatWriter<char> writer = {&target, WriteToBuffer};
  const int total = FormatNarrow(writer, format, args);
  if (size != 0) buffer[target.used] = 0;
  return total;
}

int snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int total = vsnprintf(buffer, size, format, args);
  va_end(args);
  return total;
}

int sprintf(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int total = vsnprintf(buffer, SIZE_MAX, format, args);
  va_end(args);
  return total;
}

}  // namespace pf
