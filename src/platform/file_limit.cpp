// The write budget behind the harness's short-write fault. Unlimited unless a
// harness sets it, so the products never see it.
#include "platform/provider.h"

namespace {
uint64_t g_write_budget = UINT64_MAX;
}  // namespace

void PlatSetFileWriteLimit(uint64_t bytes) { g_write_budget = bytes; }

size_t PlatFileWriteAllowance(size_t bytes) {
  if (g_write_budget == UINT64_MAX) return bytes;
  const size_t allowed = g_write_budget < bytes ? static_cast<size_t>(g_write_budget) : bytes;
  g_write_budget -= allowed;
  return allowed;
}
