// Pool memory of the boot services, typed as loader data.
#include "platform/provider.h"
#include "platform/uefi/uefi_provider.h"

void* PlatAllocate(size_t size) {
  void* buffer = nullptr;
  if (efi::IsError(uefi::g_boot->allocate_pool(efi::kLoaderData, size, &buffer))) return nullptr;
  return buffer;
}

void PlatFree(void* buffer) {
  if (buffer != nullptr) uefi::g_boot->free_pool(buffer);
}
