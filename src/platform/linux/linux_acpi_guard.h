// The kernel's own drivers and the program cannot share ports: the ACPI EC
// driver uses 0x62/0x66, the i8042 keyboard driver 0x60/0x64.
#pragma once

#include <cstddef>

// The drivers' folders under sysfs.
constexpr const char* kLinuxAcpiEcDriver = "bus/acpi/drivers/ec";
constexpr const char* kLinuxI8042Driver = "bus/platform/drivers/i8042";

// Looks for a device bound to the driver whose folder is `driver` under the
// sysfs tree at sysfs_root. Returns true and the device's name (cut to fit
// `size`) when one is bound.
bool LinuxFindBoundDevice(const char* sysfs_root, const char* driver, char* name, std::size_t size);

// Before the first port access: refuses with status 1 while the driver has a
// device bound, unless TOLVI_ALLOW_ACPI_EC=1. TOLVI_SYSFS_ROOT replaces /sys.
void LinuxCheckAcpiEcDriver();

// Before the first keyboard-controller command of an operation: refuses with
// status 1 while the i8042 driver has a device bound. /k, which sends the
// controller nothing, is the way to run beside it.
void LinuxCheckI8042Driver();
