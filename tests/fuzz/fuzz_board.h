// What the fuzz targets share: the board model with no bus or controller
// latency and a small flash chip, wired to the program's port provider; a
// console that swallows the output; an argument vector whose entries are
// separate heap blocks, so that a read past the end of one is caught; and a
// scratch directory to run in.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/board_rig.h"
#include "tolvi.h"

namespace fuzzboard {

class FuzzBoard {
 public:
  // chip_name: a profile of the chip table; chip_id: the super-I/O chip ID;
  // contents: the flash before the run, filled up with 0xFF.
  void Start(const char* chip_name, uint16_t chip_id, std::vector<uint8_t> contents = {}) {
    BoardConfig config = simtest::QuickBoard();
    config.sio.chip_id = chip_id;
    rig.emplace(chip_name, config, std::move(contents));
    if (!rig->Valid()) std::abort();
    rig->Attach(&simtest::kQuietConsole);
  }

  void Stop() { rig.reset(); }

  // Whatever the command line, the program must give the machine back: the
  // EC out of flash mode and the keyboard enabled; and it exits with 0, 1 or
  // 2 (a write that did not end as asked, e.g. an offset image running past
  // the end of a chip that tells no size).
  void CheckEnd(int status) const {
    if (status < 0 || status > 2) Fail("exit status other than 0, 1 or 2");
    if (rig->board.Ec().InFlashMode()) Fail("EC left in flash mode");
    if (!rig->board.Kbc().KeyboardEnabled()) Fail("keyboard left disabled");
  }

  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
  }

  std::optional<simtest::BoardRig> rig;
};

// argv[0] is the program's name and argv[argc] is null, as from the shell.
class ArgvCopy {
 public:
  explicit ArgvCopy(const std::vector<std::string>& arguments) {
    Add("tolvi");
    for (const std::string& argument : arguments) Add(argument);
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  char** argv() { return pointers_.data(); }

 private:
  void Add(const std::string& text) {
    // Exactly as long as the text and its terminator.
    std::unique_ptr<char[]> entry(new char[text.size() + 1]);
    text.copy(entry.get(), text.size());
    entry[text.size()] = '\0';
    pointers_.push_back(entry.get());
    storage_.push_back(std::move(entry));
  }
  std::vector<std::unique_ptr<char[]>> storage_;
  std::vector<char*> pointers_;
};

// A fresh directory to run in, removed with everything in it at exit.
inline const std::string& EnterScratchDirectory() {
  static std::string dir;
  if (!dir.empty()) return dir;
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolvi-fuzz-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr || chdir(buffer.data()) != 0) std::abort();
  dir = buffer.data();
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  });
  return dir;
}

inline void WriteFile(const char* name, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  std::fclose(file);
}

}  // namespace fuzzboard
