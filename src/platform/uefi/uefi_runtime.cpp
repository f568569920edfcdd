// The little a freestanding C++ image needs besides the program: the memory
// routines the compiler emits calls to for copies and clears of large
// objects, and the pure-virtual trap of both C++ ABIs.
#include <stddef.h>
#include <stdint.h>

extern "C" {

void* memcpy(void* dest, const void* src, size_t n) {
  auto* d = static_cast<uint8_t*>(dest);
  const auto* s = static_cast<const uint8_t*>(src);
  for (size_t i = 0; i < n; ++i) d[i] = s[i];
  return dest;
}

void* memmove(void* dest, const void* src, size_t n) {
  auto* d = static_cast<uint8_t*>(dest);
  const auto* s = static_cast<const uint8_t*>(src);
  if (d < s) {
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
  } else {
    for (size_t i = n; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return dest;
}

void* memset(void* dest, int value, size_t n) {
  auto* d = static_cast<uint8_t*>(dest);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(value);
  return dest;
}

int memcmp(const void* a, const void* b, size_t n) {
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  for (size_t i = 0; i < n; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

// A call through an unfinished vtable is a program bug; stop where a debugger
// or the firmware's exception dump shows it.
void __cxa_pure_virtual() { __builtin_trap(); }
void _purecall() { __builtin_trap(); }

// Referenced by objects that use floating point under the Microsoft ABI.
int _fltused = 0;
}
