// The shell-application entry: firmware tables, the shell's command line as a
// narrow argv, and the exit status as the shell's %lasterror%.
#include "platform/provider.h"
#include "platform/uefi/efi_types.h"
#include "platform/uefi/uefi_provider.h"
#include "platform/uefi/uefi_support.h"

namespace uefi {
efi::SystemTable* g_system = nullptr;
efi::BootServices* g_boot = nullptr;
efi::Shell* g_shell = nullptr;
efi::ShellParameters* g_parameters = nullptr;
}  // namespace uefi

// The shell does not stop an application from outside.
void SetHardwareWindow(bool, bool) {}

extern "C" efi::Status EFIAPI efi_main(efi::Handle image, efi::SystemTable* system) {
  uefi::g_system = system;
  uefi::g_boot = system->boot_services;

  // Every SPI byte of an update crosses the EC's port handshake, so a large
  // image can outlast the five-minute watchdog the boot manager arms, and a
  // reset half-way through leaves the EC without firmware.
  uefi::g_boot->set_watchdog_timer(0, 0, 0, nullptr);

  void* shell = nullptr;
  if (!efi::IsError(uefi::g_boot->locate_protocol(&efi::kShellGuid, nullptr, &shell))) {
    uefi::g_shell = static_cast<efi::Shell*>(shell);
  }

  void* found = nullptr;
  efi::ShellParameters* params = nullptr;
  if (!efi::IsError(uefi::g_boot->handle_protocol(image, &efi::kShellParametersGuid, &found))) {
    params = static_cast<efi::ShellParameters*>(found);
    uefi::g_parameters = params;
  }

  // Started as a boot option there is no command line at all.
  const uefi::EntryArguments args = uefi::PrepareArguments(params, &PlatAllocate);
  if (args.refusal != nullptr) {
    PlatConsoleWriteWide(args.refusal, uefi::WideLength(args.refusal));
    return args.status;
  }

  const int code = PlatAppMain(args.argc, args.argv);

  uefi::CloseAllFiles();
  PlatFree(args.block);
  return uefi::StatusFromExitCode(code);
}
