// C streams over the shell's file service, so that relative names resolve in
// the shell's current directory (fs0:\ after "fs0:").
#include "platform/platform.h"
#include "platform/provider.h"
#include "platform/uefi/uefi_provider.h"
#include "platform/uefi/uefi_support.h"

namespace {
// Long enough for any path the shell accepts on its command line.
constexpr size_t kMaxName = 260;
}  // namespace

struct pf::FILE {
  efi::ShellFileHandle handle;
  bool open;
  // A replacement: the new file's name and the name it replaces.
  bool replacement;
  char16_t new_name[kMaxName];
  char16_t final_name[kMaxName];
};

namespace {

// The program holds one stream at a time and the board harness a few more;
// a fixed table keeps the provider free of a heap of its own.
constexpr int kMaxFiles = 8;
pf::FILE g_files[kMaxFiles];
// Enough tries to pass names left by runs that were cut off.
constexpr unsigned kReplacementTries = 100;
// An EFI_FILE_INFO with the longest name.
constexpr size_t kMaxFileInfo = uefi::kFileInfoNameOffset + kMaxName * sizeof(char16_t);

pf::FILE* FreeSlot() {
  for (pf::FILE& f : g_files) {
    if (!f.open) return &f;
  }
  return nullptr;
}

bool Usable(pf::FILE* file) { return file != nullptr && file->open && uefi::g_shell != nullptr; }

bool Exists(const char16_t* name) {
  efi::ShellFileHandle handle = nullptr;
  if (efi::IsError(uefi::g_shell->open_file_by_name(name, &handle, efi::kFileModeRead)) ||
      handle == nullptr) {
    return false;
  }
  uefi::g_shell->close_file(handle);
  return true;
}

// A name beside `name` that no file has, or false.
bool FreeName(const char16_t* name, const char16_t* suffix, char16_t* out) {
  for (unsigned n = 0; n < kReplacementTries; ++n) {
    if (!uefi::SuffixedName(name, suffix, n, out, kMaxName)) return false;
    if (!Exists(out)) return true;
  }
  return false;
}

// Renames a closed file within its folder through the file protocol's
// SetInfo, which refuses a name another file has.
bool Rename(const char16_t* from, const char16_t* to) {
  efi::Shell* shell = uefi::g_shell;
  efi::ShellFileHandle handle = nullptr;
  if (efi::IsError(
          shell->open_file_by_name(from, &handle, efi::kFileModeRead | efi::kFileModeWrite)) ||
      handle == nullptr) {
    return false;
  }
  bool renamed = false;
  void* info = shell->get_file_info(handle);
  void* renamed_info = PlatAllocate(kMaxFileInfo);
  if (info != nullptr && renamed_info != nullptr &&
      uefi::RenamedFileInfo(info, uefi::LastComponent(to), renamed_info, kMaxFileInfo) != 0) {
    renamed = !efi::IsError(shell->set_file_info(handle, renamed_info));
  }
  if (info != nullptr) PlatFree(info);
  if (renamed_info != nullptr) PlatFree(renamed_info);
  if (efi::IsError(shell->close_file(handle))) renamed = false;
  return renamed;
}

}  // namespace

namespace uefi {

void CloseAllFiles() {
  for (pf::FILE& f : g_files) {
    if (f.open) pf::fclose(&f);
  }
}

}  // namespace uefi

// The shell keeps one current file system, chosen with "fs0:" and the like,
// and looks a bare name up there only: a file on the stick is not found while
// another disk is current.
const char16_t* FileLookupNote() {
  return u"Names are looked up on the shell's current file system (fs0: etc.).";
}

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
  slot->replacement = false;
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
  if (file->replacement) {
    DiscardReplacement(file);
    return 0;
  }
  const efi::Status status = uefi::g_shell->close_file(file->handle);
  file->handle = nullptr;
  file->open = false;
  return efi::IsError(status) ? -1 : 0;
}

// The shell has no exclusive create (its create opens a file that exists),
// but nothing else runs beside a shell application, so a name found free is
// still free when it is created. FAT knows no links.
FILE* OpenReplacement(const char* name) {
  efi::Shell* shell = uefi::g_shell;
  FILE* slot = FreeSlot();
  if (shell == nullptr || slot == nullptr || name == nullptr ||
      !uefi::WidenName(name, slot->final_name, kMaxName) ||
      !FreeName(slot->final_name, u".new", slot->new_name)) {
    return nullptr;
  }
  efi::ShellFileHandle handle = nullptr;
  if (efi::IsError(shell->create_file(slot->new_name, 0, &handle)) || handle == nullptr) {
    return nullptr;
  }
  slot->handle = handle;
  slot->open = true;
  slot->replacement = true;
  return slot;
}

// SetInfo cannot rename onto a name that exists, so the old file is renamed
// aside first and removed only once the new one holds its name; when the
// second rename fails, the old file gets its name back.
int CommitReplacement(FILE* file) {
  if (!Usable(file) || !file->replacement) return -1;
  efi::Shell* shell = uefi::g_shell;
  bool clean = !efi::IsError(shell->flush_file(file->handle));
  if (efi::IsError(shell->close_file(file->handle))) clean = false;
  file->handle = nullptr;
  file->open = false;
  file->replacement = false;
  char16_t aside[kMaxName];
  bool moved_aside = false;
  if (clean && Exists(file->final_name)) {
    moved_aside = FreeName(file->final_name, u".old", aside) && Rename(file->final_name, aside);
    clean = moved_aside;
  }
  if (clean) clean = Rename(file->new_name, file->final_name);
  if (!clean) {
    if (moved_aside) Rename(aside, file->final_name);
    shell->delete_file_by_name(file->new_name);
    return -1;
  }
  if (moved_aside) shell->delete_file_by_name(aside);
  return 0;
}

void DiscardReplacement(FILE* file) {
  if (!Usable(file)) return;
  uefi::g_shell->close_file(file->handle);
  file->handle = nullptr;
  file->open = false;
  file->replacement = false;
  uefi::g_shell->delete_file_by_name(file->new_name);
}

}  // namespace pf
