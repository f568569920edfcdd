// File streams on the C library. The program opens with "rb" and "wb+", whose
// meaning is the C library's own; offsets are 64-bit. Replacements are POSIX
// files created with O_EXCL and renamed into place.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/provider.h"

namespace pf {

struct FILE {
  std::FILE* stream;
  // A replacement: the new file's name and the name it replaces; null for a
  // plain stream.
  char* new_name;
  char* final_name;
};

namespace {

FILE* Wrap(std::FILE* stream) {
  if (stream == nullptr) return nullptr;
  FILE* file = static_cast<FILE*>(std::calloc(1, sizeof(FILE)));
  if (file == nullptr) std::fclose(stream);
  if (file != nullptr) file->stream = stream;
  return file;
}

void Free(FILE* file) {
  std::free(file->new_name);
  std::free(file->final_name);
  std::free(file);
}

// Enough tries to pass names left by runs that were killed, few enough to
// give up on a folder where every name is taken.
constexpr int kReplacementTries = 100;

}  // namespace

FILE* fopen(const char* name, const char* mode) { return Wrap(std::fopen(name, mode)); }

FILE* OpenReplacement(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  const size_t length = std::strlen(name) + 32;
  char* new_name = static_cast<char*>(std::malloc(length));
  char* final_name = strdup(name);
  int fd = -1;
  for (int n = 0; new_name != nullptr && final_name != nullptr && n < kReplacementTries; ++n) {
    std::snprintf(new_name, length, "%s.%ld-%d.new", name, static_cast<long>(getpid()), n);
    // O_EXCL: a name that exists, a link included, is never opened.
    fd = ::open(new_name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) break;
  }
  std::FILE* stream = fd >= 0 ? fdopen(fd, "wb+") : nullptr;
  if (fd >= 0 && stream == nullptr) {
    ::close(fd);
    ::unlink(new_name);
  }
  FILE* file = Wrap(stream);
  if (file == nullptr) {
    if (stream != nullptr) ::unlink(new_name);
    std::free(new_name);
    std::free(final_name);
    return nullptr;
  }
  file->new_name = new_name;
  file->final_name = final_name;
  return file;
}

int CommitReplacement(FILE* file) {
  if (file->new_name == nullptr) return -1;
  // On the disk before it takes the old file's place, so that a power cut
  // leaves one or the other whole.
  bool clean = std::fflush(file->stream) == 0 && fsync(fileno(file->stream)) == 0;
  if (std::fclose(file->stream) != 0) clean = false;
  // rename replaces a link itself, not what it points to.
  if (clean && ::rename(file->new_name, file->final_name) != 0) clean = false;
  if (!clean) ::unlink(file->new_name);
  Free(file);
  return clean ? 0 : -1;
}

void DiscardReplacement(FILE* file) {
  std::fclose(file->stream);
  if (file->new_name != nullptr) ::unlink(file->new_name);
  Free(file);
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
  if (file->new_name != nullptr) {
    DiscardReplacement(file);
    return 0;
  }
  const int result = std::fclose(file->stream);
  Free(file);
  return result;
}

bool IsSpecialFile(const char* name) {
  // stat follows links: a link to a device is a device.
  struct stat info;
  return name != nullptr && ::stat(name, &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace pf

// A name is looked up from the working directory, as anywhere else on the
// system.
const char16_t* FileLookupNote() { return nullptr; }
