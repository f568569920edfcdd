// File streams on the C library. The program opens with "rb" and "wb+", whose
// meaning is the C library's own; offsets are 64-bit.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/provider.h"

namespace pf {

struct FILE {
  std::FILE* stream;
};

FILE* fopen(const char* name, const char* mode) {
  std::FILE* stream = std::fopen(name, mode);
  if (stream == nullptr) return nullptr;
  FILE* file = static_cast<FILE*>(std::malloc(sizeof(FILE)));
  if (file == nullptr) {
    std::fclose(stream);
    return nullptr;
  }
  file->stream = stream;
  return file;
}

int fseek(FILE* file, int64_t offset, int whence) {
  static_assert(sizeof(off_t) == 8, "64-bit file offsets are needed");
  const int origin = whence == kSeekCur ? SEEK_CUR : whence == kSeekEnd ? SEEK_END : SEEK_SET;
  return fseeko(file->stream, static_cast<off_t>(offset), origin);
}

int64_t ftell(FILE* file) { return ftello(file->stream); }

size_t fread(void* buffer, size_t size, size_t count, FILE* file) {
  return std::fread(buffer, size, count, file->stream);
}

size_t fwrite(const void* buffer, size_t size, size_t count, FILE* file) {
  if (size == 0 || count == 0 || count > SIZE_MAX / size) return 0;
  const size_t allowed = PlatFileWriteAllowance(size * count);
  return std::fwrite(buffer, 1, allowed, file->stream) / size;
}

int fclose(FILE* file) {
  const int result = std::fclose(file->stream);
  std::free(file);
  return result;
}

bool IsSpecialFile(const char* name) {
  // stat follows links: a link to a device is a device.
  struct stat info;
  return name != nullptr && ::stat(name, &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace pf
