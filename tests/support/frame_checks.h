// The flash-mode frame that the write test (/T) and the boot-block
// protection (/PB) share: keyboard off, the EC into flash mode with its
// acknowledgement checked, and out again with 0xFC whatever /j says.
#pragma once

#include <string>
#include <vector>

namespace simtest {

struct FrameCase {
  std::string name;
  std::vector<std::string> board;
  std::vector<std::string> args;  // the operation's option among the frame's options
  std::vector<std::string> kbc;   // the keyboard-controller trace lines
  std::vector<std::string> ec;    // the EC trace lines
  bool ack_ok;                    // whether the EC's answer to 0xDC was the expected one
};

// The frame under /j, /k and /e in either order, a wrong or zero
// acknowledgement and the chip that wants a pre-enter command, for the
// operation `option`.
std::vector<FrameCase> FrameCases(const std::string& option);

// The frame's console lines up to and including the acknowledgement verdict.
std::string FrameStart(bool ack_ok);

// The operation `option` against a flash whose write-enable latch never
// sets: the wait gives up with its one line, the EC leaves flash mode with
// 0xFC and no reset, no SPI transaction stays open, the keyboard is back
// (unless /k kept it out of the run) and the status is 1.
void ExpectLatchTimeoutLeavesTheFrame(const std::string& option);

}  // namespace simtest
