// Pool memory on the C library's heap.
#include <cstdlib>

#include "platform/provider.h"

void* PlatAllocate(size_t size) { return std::malloc(size); }

void PlatFree(void* buffer) { std::free(buffer); }
