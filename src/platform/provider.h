// What a provider implements below platform.h. The formatting engine and the
// console routing (src/platform/*.cpp) are shared by every provider.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The provider's console. Text comes as the program printed it (narrow bytes,
// wide UCS-2); a console that shows the firmware's screen translates its line
// ends with LineEnds (platform/line_ends.h).
void PlatConsoleWriteNarrow(const char* text, size_t count);
void PlatConsoleWriteWide(const char16_t* text, size_t count);
void PlatConsoleClear();
void PlatConsoleSetCursor(unsigned column, unsigned row);
void PlatConsoleSetAttribute(unsigned attribute);
// PauseForReader on the provider's own console.
bool PlatConsolePause(const char16_t* prompt);

// Memory: null on failure. Zero sizes never reach the provider.
void* PlatAllocate(size_t size);
void PlatFree(void* buffer);

// A console sink replaces the provider's console, for instance by the board
// harness's screen model or by a test capturing the output.
struct ConsoleSink {
  void* context;
  void (*write_narrow)(void* context, const char* text, size_t count);
  void (*write_wide)(void* context, const char16_t* text, size_t count);
  void (*clear)(void* context);
  void (*set_cursor)(void* context, unsigned column, unsigned row);
  void (*set_attribute)(void* context, unsigned attribute);
  // PauseForReader; null: nobody reads this console as it fills.
  bool (*pause)(void* context, const char16_t* prompt);
};
// Null restores the provider's own console. The sink is not copied.
void PlatSetConsoleSink(const ConsoleSink* sink);

// Fault injection for the board harness: after `bytes` more bytes, file
// writes come up short. UINT64_MAX (the default) is no limit. Providers pass
// every fwrite through PlatFileWriteAllowance.
void PlatSetFileWriteLimit(uint64_t bytes);
// How many of `bytes` a write may still put in files; consumes them.
size_t PlatFileWriteAllowance(size_t bytes);

// The file functions of pf:: (fopen ... fclose), IoRead8/IoWrite8 and Stall are
// implemented by the providers directly: files by hosted/ or uefi/, ports and
// Stall by linux/, uefi/ or sim/.

// The application behind a firmware entry point (tolvi.efi: the program,
// tolvi-sim.efi: the board harness). argv[argc] is null; the result is the
// exit status.
int PlatAppMain(int argc, char** argv);
