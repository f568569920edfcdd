// The console on a C stream. Narrow and wide text share the one stream so they
// reach the terminal in program order. A terminal gets the firmware's screen:
// escapes, and line ends as the firmware's print library makes them; a
// redirected log holds exactly the program's text.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/hosted/hosted.h"
#include "platform/line_ends.h"
#include "platform/provider.h"

namespace {

std::FILE* g_stream = nullptr;
bool g_terminal = false;
LineEnds g_line_ends;

std::FILE* Stream() {
  if (g_stream == nullptr) {
    g_stream = stdout;
    g_terminal = isatty(fileno(stdout)) != 0;
  }
  return g_stream;
}

// Progress marks come one at a time without a line end; a person watching
// should see each as it is printed.
void FlushForTerminal() {
  if (g_terminal) std::fflush(g_stream);
}

void Escape(const char* text) {
  std::FILE* stream = Stream();
  if (!g_terminal) return;
  std::fputs(text, stream);
  std::fflush(stream);
}

}  // namespace

void HostedConsoleUse(std::FILE* stream, bool terminal) {
  if (g_stream != nullptr) std::fflush(g_stream);
  g_stream = stream;
  g_terminal = terminal;
  g_line_ends.Break();
}

std::size_t HostedUtf8FromUcs2(const char16_t* text, std::size_t count, char* out) {
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out[used++] = static_cast<char>(code);
    } else if (code < 0x800) {
      out[used++] = static_cast<char>(0xC0 | (code >> 6));
      out[used++] = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out[used++] = static_cast<char>(0xE0 | (code >> 12));
      out[used++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out[used++] = static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out[used++] = static_cast<char>(0xF0 | (code >> 18));
      out[used++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out[used++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out[used++] = static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return used;
}

namespace {

void StreamNarrow(const char* text, size_t count) { std::fwrite(text, 1, count, g_stream); }

void StreamWide(const char16_t* text, size_t count) {
  std::FILE* stream = g_stream;
  char bytes[3 * 64];
  while (count != 0) {
    std::size_t take = count < 64 ? count : 64;
    // Keep a surrogate pair in one piece.
    if (take < count && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF) --take;
    std::fwrite(bytes, 1, HostedUtf8FromUcs2(text, take, bytes), stream);
    text += take;
    count -= take;
  }
}

}  // namespace

void PlatConsoleWriteNarrow(const char* text, size_t count) {
  Stream();
  if (g_terminal) {
    g_line_ends.Translate(text, count, [](const auto* piece, size_t n) { StreamNarrow(piece, n); });
  } else {
    StreamNarrow(text, count);
  }
  FlushForTerminal();
}

void PlatConsoleWriteWide(const char16_t* text, size_t count) {
  Stream();
  if (g_terminal) {
    g_line_ends.Translate(text, count, [](const auto* piece, size_t n) { StreamWide(piece, n); });
  } else {
    StreamWide(text, count);
  }
  FlushForTerminal();
}

void PlatConsoleClear() {
  g_line_ends.Break();
  Escape("\x1b[2J\x1b[H");
}

void PlatConsoleSetCursor(unsigned column, unsigned row) {
  g_line_ends.Break();
  char text[32];
  std::snprintf(text, sizeof text, "\x1b[%u;%uH", row + 1, column + 1);
  Escape(text);
}

// The firmware's foreground colours 0..7 are ordered blue-green-red by bit;
// the terminal's 30..37 are ordered red-green-blue. Bit 3 is brightness.
void PlatConsoleSetAttribute(unsigned attribute) {
  static const unsigned kAnsiOfFirmware[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  const unsigned foreground = attribute & 0x0F;
  const unsigned base = (foreground & 0x08) != 0 ? 90 : 30;
  char text[16];
  std::snprintf(text, sizeof text, "\x1b[%um", base + kAnsiOfFirmware[foreground & 0x07]);
  Escape(text);
  // The firmware keeps a colour until the next program sets one; a shell
  // prompt would stay red, so the terminal gets its own colours back at exit.
  static bool reset_registered = false;
  if (g_terminal && g_stream == stdout && !reset_registered) {
    reset_registered = true;
    std::atexit([] { std::fputs("\x1b[0m", stdout); });
  }
}

// A pager's stop only where a person both reads and types: a log file, a pipe
// or a script's input run straight through.
bool PlatConsolePause(const char16_t* prompt) {
  Stream();
  if (!g_terminal || g_stream != stdout || isatty(STDIN_FILENO) == 0) return false;
  std::size_t length = 0;
  while (prompt[length] != 0) ++length;
  PlatConsoleWriteWide(u"\n\r", 2);
  PlatConsoleWriteWide(prompt, length);
  // One key, unechoed, without waiting for Enter.
  termios saved;
  const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (raw) {
    termios once = saved;
    once.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    once.c_cc[VMIN] = 1;
    once.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &once);
  }
  char key = 0;
  if (read(STDIN_FILENO, &key, 1) < 0) key = 0;
  if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  std::fputs("\r\x1b[K", g_stream);
  std::fflush(g_stream);
  g_line_ends.Break();
  return true;
}
