// The few C-library string services the program uses, identical on every
// target.
#include "platform/platform.h"

namespace {

int g_last_error = 0;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of c as a digit in any base up to 36, or 36 when it is none.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

}  // namespace

namespace pf {

int32_t strtol(const char* text, char** end, int base) {
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // "0x" is a prefix only when a hexadecimal digit follows; otherwise the
  // conversion is the lone 0 and stops at the 'x'.
  const bool hex_prefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16;
  if (base == 0) base = hex_prefix ? 16 : (p[0] == '0' ? 8 : 10);
  if (base == 16 && hex_prefix) p += 2;
  if (base < 2 || base > 36) {
    SetLastError(kErrInvalid);
    if (end != nullptr) *end = const_cast<char*>(text);
    return 0;
  }
  // The magnitude of INT32_MIN is one more than INT32_MAX.
  const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  uint32_t value = 0;
  bool saturated = false;
  const char* digits = p;
  for (int digit; (digit = DigitValue(*p)) < base; ++p) {
    if (saturated) continue;
    if (value > (limit - static_cast<uint32_t>(digit)) / static_cast<uint32_t>(base)) {
      saturated = true;
      value = limit;
    } else {
      value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
  }
  if (p == digits) {
    if (end != nullptr) *end = const_cast<char*>(text);
    return 0;
  }
  if (end != nullptr) *end = const_cast<char*>(p);
  if (negative) return value == 0x80000000u ? INT32_MIN : -static_cast<int32_t>(value);
  return static_cast<int32_t>(value);
}

int strcmp(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != 0 && *x == *y) {
    ++x;
    ++y;
  }
  return static_cast<int>(*x) - static_cast<int>(*y);
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

int LastError() { return g_last_error; }

void SetLastError(int error) { g_last_error = error; }

}  // namespace pf
