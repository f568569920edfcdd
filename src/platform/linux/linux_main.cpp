// The Linux entry: the shared program, with the C library's argument vector.
#include "tolvi.h"

int main(int argc, char** argv) { return tolvi::main(argc, argv); }
