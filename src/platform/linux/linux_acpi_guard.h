// The kernel's own EC driver and the flash tunnel cannot share ports 0x62/0x66.
#pragma once

#include <cstddef>

// Looks for a device bound to the kernel's ACPI EC driver under the sysfs
// tree at sysfs_root. Returns true and the device's name (cut to fit `size`)
// when one is bound.
bool LinuxFindAcpiEcDevice(const char* sysfs_root, char* name, std::size_t size);

// Before the first port access: refuses with status 1 while the driver has a
// device bound, unless TOLVI_ALLOW_ACPI_EC=1. TOLVI_SYSFS_ROOT replaces /sys.
void LinuxCheckAcpiEcDriver();
