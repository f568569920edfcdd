#include "platform/whole_file.h"

namespace {
void vClear(WholeFile* whole) {
  whole->file = nullptr;
  whole->data = nullptr;
  whole->length = 0;
  whole->loaded = 0;
}
}  // namespace

FileLoad eOpenWholeFile(const char* path, WholeFile* whole) {
  vClear(whole);
  // Refused unopened: a FIFO would wait for a writer, a directory or a
  // device gives no length.
  if (path == nullptr || pf::IsSpecialFile(path)) return FileLoad::kOpenFailed;
  whole->file = pf::fopen(path, "rb");
  if (whole->file == nullptr) return FileLoad::kOpenFailed;
  pf::fseek(whole->file, 0, pf::kSeekEnd);
  whole->length = pf::ftell(whole->file);
  pf::fseek(whole->file, 0, pf::kSeekSet);
  return FileLoad::kOk;
}

FileLoad eReadWholeFile(WholeFile* whole, size_t size) {
  whole->data = static_cast<uint8_t*>(AllocatePool(size));
  if (whole->data == nullptr) return FileLoad::kNoMemory;
  whole->loaded = pf::fread(whole->data, 1, size, whole->file);
  return whole->loaded == size ? FileLoad::kOk : FileLoad::kShortRead;
}

void vReleaseWholeFile(WholeFile* whole) {
  if (whole->data != nullptr) FreePool(whole->data);
  if (whole->file != nullptr) pf::fclose(whole->file);
  vClear(whole);
}
