// tolvi.efi: the shell entry hands over to the program.
#include "platform/provider.h"
#include "tolvi.h"

int PlatAppMain(int argc, char** argv) { return tolvi::main(argc, argv); }
