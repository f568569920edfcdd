// The program's entry: start-up checks, then the option scan and dispatch.
#include "app/dispatch.h"
#include "app/exit_frame.h"
#include "flash/operation_frame.h"
#include "hw/ports.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

struct Arguments {
  int argc;
  char** argv;
};

int iRunProgram(void* context) {
  const Arguments* args = static_cast<const Arguments*>(context);
  if (args->argc < 2) {
    ClearScreen();
    vShowUsage();
    return 0;
  }
  if (bIsHelpRequest(args->argc, args->argv)) {
    ClearScreen();
    vShowHelp();
    return 0;
  }
  ClearScreen();
  FlashState.ChipId = usDetectSioChip();
  if (!bEcPortsDecoded()) {
    pf::printf("\n\rPlease check 0x%x/0x%x are decode and try again!\n\n", hw::kEcCommand,
               hw::kEcData);
    return 1;
  }
  int status = iScanArguments(args->argc, args->argv);
  if (status >= 0) return status;
  return iDispatch(args->argc, args->argv);
}

}  // namespace

// A bus without a device floats high, so 0xFF on either port means nothing
// decodes the EC's ports.
bool bEcPortsDecoded() {
  if (IoRead8(hw::kEcCommand) == 0xFF) return false;
  return IoRead8(hw::kEcData) != 0xFF;
}

namespace tolvi {

int main(int argc, char** argv) {
  __builtin_memset(&FlashState, 0, sizeof FlashState);
  Arguments args = {argc, argv};
  int status = iRunWithExitFrame(&iRunProgram, &args);
  // Failures inside an operation end here, time-outs included; the status
  // then tells whether the board may be powered off.
  if (status != kExitDone) {
    status = iFailureStatus();
    vAdviseAfterFailure();
  }
  vReleaseFrontEndResources();
  return status;
}

}  // namespace tolvi
