// State the UEFI provider's files share: the firmware tables handed to the
// entry point, and the shell's file service (null when the image was not
// started from the shell).
#pragma once

#include "platform/uefi/efi_types.h"

namespace uefi {

extern efi::SystemTable* g_system;
extern efi::BootServices* g_boot;
extern efi::Shell* g_shell;
// The shell's parameters of this run (its standard handles), or null.
extern efi::ShellParameters* g_parameters;

// Closes every stream the program left open, as a C runtime does at exit.
void CloseAllFiles();

}  // namespace uefi
