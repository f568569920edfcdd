// The kernel's ACPI EC driver writes to 0x62/0x66 whenever the firmware's ACPI
// code asks (battery, thermal and lid events, queries), with no lock a user
// program could take. Its bytes would land between two bytes of the flash
// tunnel and be taken by the EC as SPI traffic.
#include "platform/linux/linux_acpi_guard.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// What a driver's sysfs directory holds besides the links to its devices.
constexpr const char* kDriverAttributes[] = {"bind",   "unbind",    "uevent",
                                             "new_id", "remove_id", "module"};

bool IsDriverAttribute(const char* entry) {
  if (std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0) return true;
  for (const char* attribute : kDriverAttributes) {
    if (std::strcmp(entry, attribute) == 0) return true;
  }
  return false;
}

}  // namespace

bool LinuxFindBoundDevice(const char* sysfs_root, const char* driver_folder, char* name,
                          std::size_t size) {
  char path[4096];
  std::snprintf(path, sizeof path, "%s/%s", sysfs_root, driver_folder);
  DIR* driver = opendir(path);
  // No directory: the kernel has no such driver at all.
  if (driver == nullptr) return false;
  bool bound = false;
  while (const dirent* entry = readdir(driver)) {
    if (IsDriverAttribute(entry->d_name)) continue;
    std::snprintf(name, size, "%s", entry->d_name);
    bound = true;
    break;
  }
  closedir(driver);
  return bound;
}

namespace {

const char* SysfsRoot() {
  const char* root = std::getenv("TOLVI_SYSFS_ROOT");
  return root == nullptr || root[0] == '\0' ? "/sys" : root;
}

}  // namespace

void LinuxCheckAcpiEcDriver() {
  char device[256];
  if (!LinuxFindBoundDevice(SysfsRoot(), kLinuxAcpiEcDriver, device, sizeof device)) return;
  const char* allow = std::getenv("TOLVI_ALLOW_ACPI_EC");
  std::fflush(stdout);
  if (allow != nullptr && std::strcmp(allow, "1") == 0) {
    std::fprintf(stderr,
                 "tolvi: TOLVI_ALLOW_ACPI_EC=1: going on beside the kernel's ACPI EC driver "
                 "(%s)\n",
                 device);
    return;
  }
  std::fprintf(stderr,
               "tolvi: the kernel's ACPI EC driver is bound to %s: the kernel talks to ports "
               "0x62/0x66 at any time and would interleave its bytes with the flash tunnel.\n"
               "tolvi: run tolvi from the UEFI Shell (the safe way), or set "
               "TOLVI_ALLOW_ACPI_EC=1 to take the risk.\n",
               device);
  std::exit(1);
}

// The i8042 driver reads keys and mouse bytes from 0x60 on every interrupt and
// sends the controller commands of its own; between the drain and 0xAD, or
// between 0xAD and 0xAE, either would take or change what the program sent.
// Unlike the EC driver there is no taking the risk: /k leaves 0x60/0x64 to
// the kernel altogether.
void LinuxCheckI8042Driver() {
  char device[256];
  if (!LinuxFindBoundDevice(SysfsRoot(), kLinuxI8042Driver, device, sizeof device)) return;
  std::fflush(stdout);
  std::fprintf(stderr,
               "tolvi: the kernel's i8042 keyboard driver is bound to %s: the kernel talks to "
               "ports 0x60/0x64 at any time and would interleave its bytes with the keyboard "
               "controller commands.\n"
               "tolvi: add /k to leave the keyboard controller to the kernel, or run tolvi from "
               "the UEFI Shell (the safe way).\n",
               device);
  std::exit(1);
}
