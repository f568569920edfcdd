// The host entry of tolvi-sim. The program's console reaches standard output
// through the hosted provider; the harness writes its usage, chip list and
// screen picture there too, and its error lines and counters to standard
// error.
#include <csignal>
#include <cstdio>

#include "platform/hosted/hosted.h"
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
  hooks.interrupt = [](void*) { std::raise(SIGINT); };
  SimSetHooks(&hooks);
  // The modelled board gets the same protection as the real one: an
  // interrupt held during the update lets it end and the flash file be
  // written back.
  HostedHoldInterruptsInWindow();
  int status = SimMain(argc, argv);
  SimSetHooks(nullptr);
  HostedReportHeldInterrupt();
  std::fflush(stdout);
  return status;
}
