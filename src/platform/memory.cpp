// Pool memory with the error numbers the C library would leave behind.
#include "platform/platform.h"
#include "platform/provider.h"

void* AllocatePool(size_t size) {
  if (size == 0) {
    pf::SetLastError(pf::kErrInvalid);
    return nullptr;
  }
  void* buffer = PlatAllocate(size);
  if (buffer == nullptr) pf::SetLastError(pf::kErrNoMemory);
  return buffer;
}

void FreePool(void* buffer) {
  if (buffer != nullptr) PlatFree(buffer);
}
