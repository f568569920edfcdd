// Port I/O with the processor's own instructions. /dev/port would cost a
// system call per byte, and a flash update moves hundreds of thousands of
// bytes through the EC's ports.
//
// The privilege is taken on the first port access, not at start, so that the
// usage screen works for any user; the kernel's EC driver is checked just
// before it.
#include <errno.h>
#include <string.h>

#include <cstdio>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define TOLVI_HAVE_PORT_IO 1
#else
#define TOLVI_HAVE_PORT_IO 0
#endif

#include "platform/linux/linux_acpi_guard.h"
#include "platform/platform.h"

namespace {

// The ports the program uses whatever the board: keyboard controller, EC and
// both super-I/O configuration pairs. The BRAM pair's base comes from the
// super-I/O chip, so it is enabled when first used.
constexpr uint16_t kFixedPorts[] = {0x60, 0x62, 0x64, 0x66, 0x2E, 0x2F, 0x4E, 0x4F};

enum class Access { kUnknown, kAllPorts, kPerPort };
Access g_access = Access::kUnknown;
// Ports already enabled through ioperm, one bit each.
uint8_t g_enabled[65536 / 8];

[[noreturn]] void Refuse(int error) {
  std::fflush(stdout);
  std::fprintf(stderr, "tolvi: no access to I/O ports (run as root): %s\n", strerror(error));
  std::exit(1);
}

#if TOLVI_HAVE_PORT_IO
void EnablePort(uint16_t port) {
  if (ioperm(port, 1, 1) != 0) Refuse(errno);
  g_enabled[port >> 3] = static_cast<uint8_t>(g_enabled[port >> 3] | (1u << (port & 7)));
}

void Acquire() {
  LinuxCheckAcpiEcDriver();
  if (iopl(3) == 0) {
    g_access = Access::kAllPorts;
    return;
  }
  // Some kernels refuse iopl but still allow a per-port bitmap.
  for (uint16_t port : kFixedPorts) EnablePort(port);
  g_access = Access::kPerPort;
}

void Require(uint16_t port) {
  if (g_access == Access::kAllPorts) return;
  if (g_access == Access::kUnknown) Acquire();
  if (g_access == Access::kPerPort && (g_enabled[port >> 3] & (1u << (port & 7))) == 0) {
    EnablePort(port);
  }
}
#else
void Require(uint16_t) {
  LinuxCheckAcpiEcDriver();
  Refuse(ENOSYS);
}
#endif

}  // namespace

uint8_t IoRead8(uint16_t port) {
  Require(port);
#if TOLVI_HAVE_PORT_IO
  uint8_t value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(value) : "Nd"(port));
  return value;
#else
  return 0xFF;
#endif
}

void ClaimKeyboardController() { LinuxCheckI8042Driver(); }

void IoWrite8(uint16_t port, uint8_t value) {
  Require(port);
#if TOLVI_HAVE_PORT_IO
  __asm__ __volatile__("outb %b0, %w1" : : "a"(value), "Nd"(port));
#endif
}
