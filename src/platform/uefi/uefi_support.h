// Pure conversions between the shell's UCS-2 world and the program's narrow
// texts, kept free of firmware calls so that they can be checked on the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/uefi/efi_types.h"

namespace uefi {

// A UCS-2 character that has no single-byte form becomes '?'; the first 256
// code points map to themselves, so widening byte by byte gives the name back.
inline char NarrowChar(char16_t c) { return c < 0x100 ? static_cast<char>(c) : '?'; }

inline size_t WideLength(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// Bytes for the argv block: argc + 1 pointers, then every text with its zero.
inline size_t ArgvBlockSize(size_t argc, char16_t* const* wide_argv) {
  size_t bytes = (argc + 1) * sizeof(char*);
  for (size_t i = 0; i < argc; ++i) bytes += WideLength(wide_argv[i]) + 1;
  return bytes;
}

// Lays out a narrow argv (null at index argc) in a block of ArgvBlockSize bytes.
inline char** BuildNarrowArgv(size_t argc, char16_t* const* wide_argv, void* block) {
  char** argv = static_cast<char**>(block);
  char* text = reinterpret_cast<char*>(argv + argc + 1);
  for (size_t i = 0; i < argc; ++i) {
    argv[i] = text;
    for (const char16_t* w = wide_argv[i]; *w != 0; ++w) *text++ = NarrowChar(*w);
    *text++ = 0;
  }
  argv[argc] = nullptr;
  return argv;
}

// The command line as the program gets it, or why there is none.
struct EntryArguments {
  int argc;
  char** argv;
  void* block;              // the argv block to free at the end, or null
  const char16_t* refusal;  // one line for the console; null when argv is usable
  efi::Status status;       // what the entry returns after a refusal
};

// From the shell-parameters protocol (null when the image does not have it)
// to a narrow argv in a block from `allocate`. Without the protocol or with
// a conversion that fails, the program must not run as if called bare: that
// would show the usage and report success to whatever started it.
inline EntryArguments PrepareArguments(const efi::ShellParameters* params,
                                       void* (*allocate)(size_t)) {
  EntryArguments result = {0, nullptr, nullptr, nullptr, efi::kSuccess};
  if (params == nullptr || params->argc == 0 || params->argv == nullptr) {
    result.refusal = u"No shell parameters: start this program from the UEFI Shell.\r\n";
    result.status = efi::kLoadError;
    return result;
  }
  const size_t count = static_cast<size_t>(params->argc);
  result.block = allocate(ArgvBlockSize(count, params->argv));
  if (result.block == nullptr) {
    result.refusal = u"The command line could not be converted: out of memory.\r\n";
    result.status = efi::kOutOfResources;
    return result;
  }
  result.argv = BuildNarrowArgv(count, params->argv, result.block);
  result.argc = static_cast<int>(count);
  return result;
}

// Copies at most capacity - 1 narrow bytes into a zero-terminated UCS-2 chunk
// and returns how many input bytes it consumed. A zero byte would end the
// firmware's string early, so it is dropped rather than passed on.
inline size_t WidenChunk(const char* text, size_t count, char16_t* out, size_t capacity) {
  size_t used = 0;
  size_t written = 0;
  while (used < count && written + 1 < capacity) {
    const unsigned char c = static_cast<unsigned char>(text[used++]);
    if (c != 0) out[written++] = c;
  }
  out[written] = 0;
  return used;
}

// Same for wide text: copies up to capacity - 1 characters, zero-terminated.
inline size_t CopyWideChunk(const char16_t* text, size_t count, char16_t* out, size_t capacity) {
  size_t used = 0;
  size_t written = 0;
  while (used < count && written + 1 < capacity) {
    const char16_t c = text[used++];
    if (c != 0) out[written++] = c;
  }
  out[written] = 0;
  return used;
}

// A file name for the shell; false when it does not fit.
inline bool WidenName(const char* name, char16_t* out, size_t capacity) {
  size_t i = 0;
  for (; name[i] != 0; ++i) {
    if (i + 1 >= capacity) return false;
    out[i] = static_cast<unsigned char>(name[i]);
  }
  out[i] = 0;
  return i > 0;
}

// What an fopen mode asks of the shell.
enum class OpenKind { kInvalid, kRead, kReadWrite, kCreateTruncate };

// "r"/"rb" read, "r+"/"rb+"/"r+b" read and write an existing file,
// "w"/"wb"/"w+"/"wb+"/"w+b" create or truncate. Appending is not offered.
inline OpenKind ParseOpenMode(const char* mode) {
  if (mode == nullptr || mode[0] == 0) return OpenKind::kInvalid;
  const char kind = mode[0];
  bool plus = false;
  for (const char* m = mode + 1; *m != 0; ++m) {
    if (*m == '+') {
      plus = true;
    } else if (*m != 'b') {
      return OpenKind::kInvalid;
    }
  }
  if (kind == 'r') return plus ? OpenKind::kReadWrite : OpenKind::kRead;
  if (kind == 'w') return OpenKind::kCreateTruncate;
  return OpenKind::kInvalid;
}

// EFI_FILE_INFO: three 64-bit sizes and three 16-byte times before the
// attribute bits, of which 0x10 marks a directory.
constexpr size_t kFileInfoAttributeOffset = 3 * 8 + 3 * 16;
constexpr uint64_t kFileDirectory = 0x10;

inline bool IsDirectoryInfo(const void* info) {
  uint64_t attribute = 0;
  __builtin_memcpy(&attribute, static_cast<const uint8_t*>(info) + kFileInfoAttributeOffset,
                   sizeof attribute);
  return (attribute & kFileDirectory) != 0;
}

// EFI_FILE_INFO's own size comes first and its name last, after the attribute.
constexpr size_t kFileInfoNameOffset = kFileInfoAttributeOffset + 8;

// The name a path ends in: what the file protocol's SetInfo takes to rename a
// file within its folder.
inline const char16_t* LastComponent(const char16_t* path) {
  const char16_t* last = path;
  for (const char16_t* p = path; *p != 0; ++p) {
    if (*p == u'\\' || *p == u'/' || *p == u':') last = p + 1;
  }
  return last;
}

// `name` with `suffix` and, from 1 on, the decimal `number` after it; false
// when it does not fit.
inline bool SuffixedName(const char16_t* name, const char16_t* suffix, unsigned number,
                         char16_t* out, size_t capacity) {
  char16_t digits[12];
  size_t count = 0;
  for (unsigned n = number; n != 0; n /= 10) digits[count++] = static_cast<char16_t>(u'0' + n % 10);
  const size_t name_length = WideLength(name);
  const size_t suffix_length = WideLength(suffix);
  if (name_length + suffix_length + count + 1 > capacity) return false;
  size_t at = 0;
  for (size_t i = 0; i < name_length; ++i) out[at++] = name[i];
  for (size_t i = 0; i < suffix_length; ++i) out[at++] = suffix[i];
  while (count != 0) out[at++] = digits[--count];
  out[at] = 0;
  return true;
}

// Into `out`, the file info `info` with its name replaced by `name`: what
// SetInfo takes to rename a file. Returns the new info's size, 0 when it
// does not fit.
inline size_t RenamedFileInfo(const void* info, const char16_t* name, void* out, size_t capacity) {
  const size_t size = kFileInfoNameOffset + (WideLength(name) + 1) * sizeof(char16_t);
  if (size > capacity) return 0;
  __builtin_memcpy(out, info, kFileInfoNameOffset);
  const uint64_t size64 = size;
  __builtin_memcpy(out, &size64, sizeof size64);
  __builtin_memcpy(static_cast<uint8_t*>(out) + kFileInfoNameOffset, name,
                   (WideLength(name) + 1) * sizeof(char16_t));
  return size;
}

// The program's exit status as the shell's %lasterror%: 0 succeeds, 1 is the
// refusal or failure status, anything else (a harness usage error) is kept
// apart from both.
// The program's exit status as the shell's %lasterror%, one status each, so
// that a script can tell them apart: 0 succeeds, 1 (refused or failed, flash
// unchanged) is EFI_ABORTED, 2 (flash changed and incomplete, or the EC not
// given back) EFI_DEVICE_ERROR; anything else (a harness usage error) is kept
// apart from all three.
inline efi::Status StatusFromExitCode(int code) {
  if (code == 0) return efi::kSuccess;
  if (code == 1) return efi::kAborted;
  if (code == 2) return efi::kDeviceError;
  return efi::kInvalidParameter;
}

}  // namespace uefi
