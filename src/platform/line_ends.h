// The line ends of the firmware's print library. The program's texts were
// written for it: it turns "\n" and "\n\r" into CR LF as it prints and lets
// "\r\n" and a lone "\r" through, while the console's OutputString moves down
// on a bare LF without returning to column 0. Every console that stands for
// the firmware's screen (the UEFI provider, a terminal, the screen model)
// puts the program's text through one of these.
#pragma once

#include <stddef.h>

class LineEnds {
 public:
  // Passes `text` on to write(piece, length) with its line ends translated.
  // A pair split between two calls is still seen as one.
  template <typename Char, typename Write>
  void Translate(const Char* text, size_t count, Write write) {
    static const Char kCrLf[] = {'\r', '\n'};
    size_t run = 0;  // start of the text not yet passed on
    for (size_t i = 0; i < count; ++i) {
      const Char c = text[i];
      if (c == '\n') {
        if (state_ == kAfterCr) {
          // "\r\n": the CR is already out.
          state_ = kNone;
          continue;
        }
        if (i > run) write(text + run, i - run);
        write(kCrLf, 2);
        run = i + 1;
        state_ = kAfterLf;
      } else if (c == '\r') {
        if (state_ == kAfterLf) {
          // "\n\r": already CR LF.
          if (i > run) write(text + run, i - run);
          run = i + 1;
          state_ = kNone;
        } else {
          state_ = kAfterCr;
        }
      } else {
        state_ = kNone;
      }
    }
    if (count > run) write(text + run, count - run);
  }

  // A cursor move or a clear between two characters keeps them from pairing.
  void Break() { state_ = kNone; }

 private:
  enum State { kNone, kAfterCr, kAfterLf };
  State state_ = kNone;
};
