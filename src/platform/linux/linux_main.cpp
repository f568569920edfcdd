// The Linux entry: the shared program, with the C library's argument vector.
// An interrupt inside the hardware window is held; the run then ends with the
// operation's own status.
#include "platform/hosted/hosted.h"
#include "tolvi.h"

int main(int argc, char** argv) {
  HostedHoldInterruptsInWindow();
  const int status = tolvi::main(argc, argv);
  HostedReportHeldInterrupt();
  return status;
}
