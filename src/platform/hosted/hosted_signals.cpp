// Interrupts during the hardware window. SIGINT, SIGTERM, SIGHUP or SIGQUIT
// while the EC is in flash mode would leave it without firmware to run, and
// while the keyboard controller is disabled would leave the machine without a
// keyboard; so inside that window they are held until the operation has ended
// (every block, the leave byte, the keyboard back). Outside it they act as if
// no handler had been installed.
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/hosted/hosted.h"
#include "platform/platform.h"

namespace {

constexpr int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The window as the channel last told it.
volatile sig_atomic_t g_ec_in_flash_mode = 0;
volatile sig_atomic_t g_keyboard_disabled = 0;

// The first signal held (0: none) and whether the EC was in flash mode then.
volatile sig_atomic_t g_held = 0;
volatile sig_atomic_t g_held_in_flash_mode = 0;

void OnSignal(int signal_number) {
  const bool flash_mode = g_ec_in_flash_mode != 0;
  const bool in_window = flash_mode || g_keyboard_disabled != 0;
  // Once one is held the run is ending anyway; later ones wait with it.
  if (g_held != 0) return;
  if (in_window) {
    g_held = signal_number;
    g_held_in_flash_mode = flash_mode ? 1 : 0;
    return;
  }
  // The signal is blocked while its handler runs, so it is delivered with the
  // default action as soon as this returns.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "SIGQUIT";
  }
}

}  // namespace

void SetHardwareWindow(bool ec_in_flash_mode, bool keyboard_disabled) {
  g_ec_in_flash_mode = ec_in_flash_mode ? 1 : 0;
  g_keyboard_disabled = keyboard_disabled ? 1 : 0;
}

void HostedHoldInterruptsInWindow() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kHeldSignals) sigaddset(&action.sa_mask, signal_number);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kHeldSignals) {
    struct sigaction previous = {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal_number, &action, nullptr);
  }
}

int HostedReportHeldInterrupt() {
  const int held = g_held;
  if (held == 0) return 0;
  std::fflush(stdout);
  std::fprintf(stderr, "tolvi: %s held until the operation had ended: %s\n", SignalName(held),
               g_held_in_flash_mode != 0
                   ? "the EC was in flash mode, and stopping there would leave it without firmware"
                   : "the keyboard was disabled, and stopping there would leave it dead");
  return held;
}
