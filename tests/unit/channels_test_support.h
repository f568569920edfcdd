// A board on the bench wired to the program's port functions, for tests that
// call the channel procedures directly and look at the port accesses.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/board_host.h"
#include "tolvi.h"

namespace channels {

class AttachedBoard {
 public:
  explicit AttachedBoard(const BoardConfig& config = DefaultBoardConfig()) : host(config, true) {
    FlashState = FlashStateRecord{};
    host.Attach(nullptr);
  }
  AttachedBoard(const AttachedBoard&) = delete;
  AttachedBoard& operator=(const AttachedBoard&) = delete;

  // Port accesses from now on only.
  void ForgetPorts() {
    host.ports.clear();
    host.spi.events.clear();
    host.trace.clear();
  }

  // The writes, and the reads of data ports (everything but the status
  // reads of 0x64 and 0x66, whose number depends on the controller's pace).
  std::vector<std::string> DataAccesses() const {
    std::vector<std::string> out;
    for (const std::string& access : host.ports) {
      if (access.rfind("in 66 ", 0) == 0 || access.rfind("in 64 ", 0) == 0) continue;
      out.push_back(access);
    }
    return out;
  }

  // Every write to 0x66/0x62 and 0x64 must be preceded by a status read that
  // showed the input buffer empty, and followed by one before the next access
  // of the channel; every read of 0x62 by a status read with OBF set.
  std::string HandshakeViolation() const {
    const std::vector<std::string>& p = host.ports;
    auto status_of = [&](size_t i, const char* port) -> int {
      unsigned value = 0;
      std::string prefix = std::string("in ") + port + " ";
      if (p[i].rfind(prefix, 0) != 0) return -1;
      std::sscanf(p[i].c_str() + prefix.size(), "%x", &value);
      return static_cast<int>(value);
    };
    for (size_t i = 0; i < p.size(); ++i) {
      bool ec_write = p[i].rfind("out 66 ", 0) == 0 || p[i].rfind("out 62 ", 0) == 0;
      bool kbc_write = p[i].rfind("out 64 ", 0) == 0;
      if (ec_write || kbc_write) {
        const char* status_port = ec_write ? "66" : "64";
        // The EC data byte follows the command's own trailing wait.
        if (i == 0 || status_of(i - 1, status_port) < 0 || (status_of(i - 1, status_port) & 2)) {
          return "write without a preceding empty-buffer status at " + std::to_string(i) + ": " +
                 p[i];
        }
        size_t j = i + 1;
        while (j < p.size() && status_of(j, status_port) >= 0 && (status_of(j, status_port) & 2)) {
          ++j;
        }
        if (j >= p.size() || status_of(j, status_port) < 0) {
          return "write not followed by an empty-buffer status at " + std::to_string(i) + ": " +
                 p[i];
        }
      }
      if (p[i].rfind("in 62 ", 0) == 0 &&
          (i == 0 || status_of(i - 1, "66") < 0 || (status_of(i - 1, "66") & 1) == 0)) {
        return "data read without OBF at " + std::to_string(i);
      }
    }
    return "";
  }

  simtest::BoardHost host;
};

}  // namespace channels
