// The frame every operation that puts the EC into flash mode runs in (the
// update, the dump, the write test and the protection): keyboard off unless
// /k, the pre-enter command for the mode-select chip, 0xDC and its
// acknowledgement; at the end the EC out of flash mode with the leave byte
// decided here, and the keyboard back unless /k.
#pragma once

#include <stdint.h>

// How each operation's frame shows itself; the bytes on the ports differ only
// in `keyboard_off` and `reset_allowed`.
struct FrameStyle {
  bool keyboard_off;          // 0xAD before entry (unless /k)
  bool keyboard_line_always;  // the 0xAD line printed even with /k
  bool announce_first;        // the 0xDC line printed before the pre-enter command
  bool show_steps;            // the progress lines; else only a failed acknowledgement
  bool reset_allowed;         // leaves with 0xFE unless /j; else always 0xFC
  bool writes;                // erases or writes the flash; resets only once done
};

// The update: every line, and the EC reset unless /j.
constexpr FrameStyle kUpdateFrame = {.keyboard_off = true,
                                     .keyboard_line_always = false,
                                     .announce_first = true,
                                     .show_steps = true,
                                     .reset_allowed = true,
                                     .writes = true};
// The write test (/T) and the protection (/PB) leave the EC running the
// firmware it had.
constexpr FrameStyle kTestAndProtectFrame = {.keyboard_off = true,
                                             .keyboard_line_always = true,
                                             .announce_first = false,
                                             .show_steps = true,
                                             .reset_allowed = false,
                                             .writes = true};
// The dump keeps the keyboard on while it reads.
constexpr FrameStyle kDumpFrame = {.keyboard_off = false,
                                   .keyboard_line_always = false,
                                   .announce_first = false,
                                   .show_steps = false,
                                   .reset_allowed = true,
                                   .writes = false};

// Opens the frame; returns whether the EC acknowledged 0xDC. The operation
// goes on either way.
bool bOpenOperationFrame(const FrameStyle& style);
// Leaves flash mode with ucFrameLeaveCommand's byte, at once (a failed
// block).
void vLeaveFrameFlashMode();
// Leaves flash mode unless that happened already, then re-enables the
// keyboard unless /k.
void vCloseOperationFrame();
// The exit status of a run that failed or was refused: kExitKeepPowerOn when
// the flash was changed (and the run did not end as asked) or the EC may
// still be in flash mode, else kExitNotChanged.
int iFailureStatus();
// After a run that failed, wherever it failed: what the flash now holds and
// what the technician should do. Nothing after a refusal.
void vAdviseAfterFailure();
