// tolvi-sim.efi: the shell entry hands over to the board-model harness, which
// runs the program against the simulated board.
#include "platform/provider.h"
#include "sim/harness.h"

int PlatAppMain(int argc, char** argv) { return SimMain(argc, argv); }
