// Controls of the hosted provider that its users (the harness, tests) may need.
#pragma once

#include <cstdio>

// Sends the console to `stream` instead of standard output. `terminal` says
// whether the stream understands terminal escapes (clear, cursor, colour);
// without them those calls emit nothing. A null stream restores standard
// output, whose kind is then found out again.
void HostedConsoleUse(std::FILE* stream, bool terminal);

// Converts UCS-2 text to UTF-8 into `out` (room for 3 bytes per unit) and
// returns the number of bytes. A surrogate pair becomes one 4-byte sequence;
// a lone surrogate becomes U+FFFD.
std::size_t HostedUtf8FromUcs2(const char16_t* text, std::size_t count, char* out);

// Holds SIGINT, SIGTERM, SIGHUP and SIGQUIT that arrive while the EC is in
// flash mode or the keyboard controller is disabled; outside that window
// they act as usual. Signals the caller ignores stay ignored.
void HostedHoldInterruptsInWindow();
// After the program has ended: one line on standard error naming the signal
// held and why, if one was. Returns the signal number, or 0.
int HostedReportHeldInterrupt();
