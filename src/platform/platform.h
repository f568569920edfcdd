// The services the program needs from its surroundings, and nothing more.
// Everything above this header is the same on UEFI, on Linux and against the
// board model; the providers below it differ.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Console. Wide texts are UCS-2 (char16_t) on every target.
// Print formats %d %x %02x %02d %c (a 16-bit character) and %s (wide text).
void Print(const char16_t* format, ...);
void ClearScreen();
// Column and row are passed to the console as given.
void SetCursorPosition(unsigned column, unsigned row);
void SetAttribute(unsigned attribute);
// Stops for a person reading the screen: prints `prompt` on a line of its
// own, waits for a key, takes the prompt off that line again (the cursor left
// at its start) and returns true. Returns false at once, printing nothing,
// when no one is there to press a key: output to a file or a pipe, a script
// running, a console sink in place.
bool PauseForReader(const char16_t* prompt);

// A line for a person whose file could not be opened, saying where names are
// looked up when that is not plain (the UEFI Shell looks on its current file
// system, which need not be the disk the file is on); null otherwise.
const char16_t* FileLookupNote();

// Busy-waits at least this many microseconds.
void Stall(uint64_t microseconds);
// Microseconds since an arbitrary start, never going back.
uint64_t MonotonicMicroseconds();

// The hardware window: the channel code tells the platform, before the byte
// that opens it goes out and after the one that closes it, whether the EC is
// in flash mode and whether the keyboard controller is disabled. Stopping the
// program inside it would leave the EC without firmware or the machine
// without a keyboard; a provider that can be interrupted holds interrupts
// there, the firmware has nothing to hold.
void SetHardwareWindow(bool ec_in_flash_mode, bool keyboard_disabled);

// Returns null (and sets pf::LastError) on a zero size or a failure.
void* AllocatePool(size_t size);
void FreePool(void* buffer);

// 8-bit x86 port I/O.
uint8_t IoRead8(uint16_t port);
void IoWrite8(uint16_t port, uint8_t value);
// Called before an operation that will send the keyboard controller commands,
// before it sends anything. A platform whose own driver owns ports 0x60/0x64
// (Linux with the kernel's i8042 driver bound) says why it refuses and ends
// the program with status 1.
void ClaimKeyboardController();

// The C-library part, in its own namespace so that hosted builds can link the
// real C library beside it.
namespace pf {

struct FILE;  // opaque, defined by the provider

enum { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };
enum { kErrNoMemory = 12, kErrInvalid = 22 };

// Narrow formatting: %d %i %u %x %X %c %s %% with flags '-' '0' ' ' '+' and a
// width, and the length modifiers h hh l ll z. Output goes to the console.
int printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int vprintf(const char* format, va_list args);
int sprintf(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));
int snprintf(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int vsnprintf(char* buffer, size_t size, const char* format, va_list args);

// Modes "rb" (read an existing file) and "wb+" (create or truncate, read and
// write). Null on failure.
FILE* fopen(const char* name, const char* mode);
int fseek(FILE* file, int64_t offset, int whence);
int64_t ftell(FILE* file);
size_t fread(void* buffer, size_t size, size_t count, FILE* file);
size_t fwrite(const void* buffer, size_t size, size_t count, FILE* file);
int fclose(FILE* file);
// True when `name` exists and is not a plain file (a directory, a FIFO, a
// device): opening one may wait for a writer that never comes, and it has no
// length to load nor contents a dump may replace. Checked before the hardware
// is touched, so that nothing waits with the EC in flash mode.
bool IsSpecialFile(const char* name);

// A file that replaces `name` whole or not at all, for what is written as
// root into a folder others may write to. It is created exclusively under a
// new name beside `name`, so nothing planted there is followed, and renamed
// over `name` by CommitReplacement only after a clean close: a symbolic link
// at `name` is replaced, never followed, and a failed or interrupted write
// leaves the old file whole. Null when no new file could be created.
FILE* OpenReplacement(const char* name);
// Closes the file and puts it in place of its name; 0 on success. On a
// failure the new file is removed and the old one stays as it was.
int CommitReplacement(FILE* file);
// Closes and removes the new file; the old one stays as it was. fclose on a
// replacement does the same.
void DiscardReplacement(FILE* file);

// Standard strtol with a 32-bit result that saturates at the 32-bit limits.
int32_t strtol(const char* text, char** end, int base);
int strcmp(const char* a, const char* b);
size_t strlen(const char* text);
int LastError();
void SetLastError(int error);

}  // namespace pf
