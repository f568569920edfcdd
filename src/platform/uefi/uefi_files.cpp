// C streams over the shell's file service, so that relative names resolve in
// the shell's current directory (fs0:\ after "fs0:").
#include "platform/platform.h"
#include "platform/provider.h"
#include "platform/uefi/uefi_provider.h"
#include "platform/uefi/uefi_support.h"

struct pf::FILE {
  efi::ShellFileHandle handle;
  bool open;
};

namespace {

// The program holds one stream at a time and the board harness a few more;
// a fixed table keeps the provider free of a heap of its own.
constexpr int kMaxFiles = 8;
pf::FILE g_files[kMaxFiles];

// Long enough for any path the shell accepts on its command line.
constexpr size_t kMaxName = 260;

pf::FILE* FreeSlot() {
  for (pf::FILE& f : g_files) {
    if (!f.open) return &f;
  }
  return nullptr;
}

bool Usable(pf::FILE* file) { return file != nullptr && file->open && uefi::g_shell != nullptr; }

}  // namespace

namespace uefi {

void CloseAllFiles() {
  for (pf::FILE& f : g_files) {
    if (f.open) pf::fclose(&f);
  }
}

}  // namespace uefi

namespace pf {

FILE* fopen(const char* name, const char* mode) {
  const uefi::OpenKind kind = uefi::ParseOpenMode(mode);
  char16_t wide[kMaxName];
  if (kind == uefi::OpenKind::kInvalid || name == nullptr ||
      !uefi::WidenName(name, wide, kMaxName)) {
    SetLastError(kErrInvalid);
    return nullptr;
  }
  efi::Shell* shell = uefi::g_shell;
  FILE* slot = FreeSlot();
  if (shell == nullptr || slot == nullptr) return nullptr;

  efi::ShellFileHandle handle = nullptr;
  efi::Status status = efi::kAborted;
  switch (kind) {
    case uefi::OpenKind::kRead:
      status = shell->open_file_by_name(wide, &handle, efi::kFileModeRead);
      break;
    case uefi::OpenKind::kReadWrite:
      status = shell->open_file_by_name(wide, &handle, efi::kFileModeRead | efi::kFileModeWrite);
      break;
    case uefi::OpenKind::kCreateTruncate:
      // The shell's create opens an existing file with its old contents, so a
      // longer old file would leave its tail behind a shorter new one.
      shell->delete_file_by_name(wide);
      status = shell->create_file(wide, 0, &handle);
      break;
    case uefi::OpenKind::kInvalid:
      break;
  }
  if (efi::IsError(status) || handle == nullptr) return nullptr;
  slot->handle = handle;
  slot->open = true;
  return slot;
}

// The shell's files are plain files or directories; a directory opens for
// reading like a file but has no length to seek to.
bool IsSpecialFile(const char* name) {
  char16_t wide[kMaxName];
  efi::Shell* shell = uefi::g_shell;
  if (shell == nullptr || name == nullptr || !uefi::WidenName(name, wide, kMaxName)) return false;
  efi::ShellFileHandle handle = nullptr;
  if (efi::IsError(shell->open_file_by_name(wide, &handle, efi::kFileModeRead)) ||
      handle == nullptr) {
    return false;
  }
  void* info = shell->get_file_info(handle);
  const bool directory = info != nullptr && uefi::IsDirectoryInfo(info);
  if (info != nullptr) PlatFree(info);
  shell->close_file(handle);
  return directory;
}

int fseek(FILE* file, int64_t offset, int whence) {
  if (!Usable(file)) return -1;
  uint64_t base = 0;
  if (whence == kSeekCur) {
    if (efi::IsError(uefi::g_shell->get_file_position(file->handle, &base))) return -1;
  } else if (whence == kSeekEnd) {
    if (efi::IsError(uefi::g_shell->get_file_size(file->handle, &base))) return -1;
  } else if (whence != kSeekSet) {
    return -1;
  }
  const int64_t target = static_cast<int64_t>(base) + offset;
  if (target < 0) return -1;
  if (efi::IsError(uefi::g_shell->set_file_position(file->handle, static_cast<uint64_t>(target)))) {
    return -1;
  }
  return 0;
}

int64_t ftell(FILE* file) {
  uint64_t position = 0;
  if (!Usable(file) || efi::IsError(uefi::g_shell->get_file_position(file->handle, &position))) {
    return -1;
  }
  return static_cast<int64_t>(position);
}

size_t fread(void* buffer, size_t size, size_t count, FILE* file) {
  if (!Usable(file) || size == 0 || count == 0 || count > SIZE_MAX / size) return 0;
  const size_t total = size * count;
  size_t done = 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (done < total) {
    uint64_t n = total - done;
    if (efi::IsError(uefi::g_shell->read_file(file->handle, &n, bytes + done)) || n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done / size;
}

size_t fwrite(const void* buffer, size_t size, size_t count, FILE* file) {
  if (!Usable(file) || size == 0 || count == 0 || count > SIZE_MAX / size) return 0;
  const size_t total = PlatFileWriteAllowance(size * count);
  size_t done = 0;
  // The shell's write takes a non-const buffer but does not change it.
  auto* bytes = static_cast<uint8_t*>(const_cast<void*>(buffer));
  while (done < total) {
    uint64_t n = total - done;
    if (efi::IsError(uefi::g_shell->write_file(file->handle, &n, bytes + done)) || n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done / size;
}

int fclose(FILE* file) {
  if (!Usable(file)) return -1;
  const efi::Status status = uefi::g_shell->close_file(file->handle);
  file->handle = nullptr;
  file->open = false;
  return efi::IsError(status) ? -1 : 0;
}

}  // namespace pf
