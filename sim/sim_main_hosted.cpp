// The host entry of tolvi-sim. The program's console reaches standard output
// through the hosted provider; the harness writes its usage, chip list and
// screen picture there too, and its error lines and counters to standard
// error.
#include <cstdio>

#include "sim/harness.h"

namespace {
void WriteOut(void*, const char* text, size_t count) { std::fwrite(text, 1, count, stdout); }
void WriteErr(void*, const char* text, size_t count) {
  std::fflush(stdout);  // keep the two streams in order on a shared terminal
  std::fwrite(text, 1, count, stderr);
}
}  // namespace

int main(int argc, char** argv) {
  SimHooks hooks{};
  hooks.out = WriteOut;
  hooks.err = WriteErr;
  SimSetHooks(&hooks);
  int status = SimMain(argc, argv);
  SimSetHooks(nullptr);
  std::fflush(stdout);
  return status;
}
