// One file read whole into memory: the image, the /c file and the /VBF file
// all load this way, and each caller prints its own message for a failure.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// File positions are signed 32-bit counts; a longer file is no image (a
// directory reports a length it cannot deliver).
constexpr int64_t kMaxFileLength = 0x7FFFFFFF;

struct WholeFile {
  pf::FILE* file;
  uint8_t* data;
  int64_t length;  // what the file's end position said
  size_t loaded;   // bytes actually read
};

enum class FileLoad : uint8_t { kOk, kOpenFailed, kNoMemory, kShortRead };

// Opens `path` for reading (a null path, a directory, a FIFO or a device opens
// nothing) and measures it. The
// caller decides what length it accepts before anything is allocated.
FileLoad eOpenWholeFile(const char* path, WholeFile* whole);
// Allocates `size` bytes and reads them from the start.
FileLoad eReadWholeFile(WholeFile* whole, size_t size);
// Frees the bytes and closes the file; safe on a part-loaded or empty one.
void vReleaseWholeFile(WholeFile* whole);
