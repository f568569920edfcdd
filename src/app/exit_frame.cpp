// vExitProgram without exceptions: __builtin_setjmp/__builtin_longjmp need no
// C runtime, so the same code serves the firmware build.
#include "app/exit_frame.h"

#include "tolvi.h"

namespace {

void** g_active_frame = nullptr;
int g_exit_status = 0;

}  // namespace

int iRunWithExitFrame(int (*body)(void* context), void* context) {
  void* frame[5];
  void** volatile outer = g_active_frame;
  volatile int status = 0;
  g_active_frame = frame;
  if (__builtin_setjmp(frame) == 0) {
    status = body(context);
  } else {
    status = g_exit_status;
  }
  g_active_frame = outer;
  return status;
}

void vExitProgram(int status) {
  g_exit_status = status;
  // Without a frame there is nowhere sane to go.
  if (g_active_frame == nullptr) __builtin_trap();
  __builtin_longjmp(g_active_frame, 1);
}
