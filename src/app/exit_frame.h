// The frame that vExitProgram returns to. tolvi::main runs the program inside
// one; a test may run a single procedure inside one to see a time-out end it.
#pragma once

// Runs body(context) and returns its result, or the status passed to
// vExitProgram if that was called meanwhile. Frames nest.
int iRunWithExitFrame(int (*body)(void* context), void* context);
