// Random command lines through the whole program against the board model.
// The input is split at line ends into argument entries. Whatever the words,
// the program must not read outside them, must end, and must give the
// machine back (fuzz_board.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_board.h"

namespace {

// More than the program accepts, so that its entry limit is exercised.
constexpr size_t kMaxEntries = 300;

fuzzboard::FuzzBoard g_board;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzboard::EnterScratchDirectory();
  // Images the command lines can name: a boot block, a 64 KB image with a
  // version at 0xFFF8, and an empty file.
  std::vector<uint8_t> image(0x1000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
  fuzzboard::WriteFile("ec.bin", image);
  image.assign(0x10000, 0x5A);
  image[0xFFF8] = 0x02;
  image[0xFFF9] = 'B';
  fuzzboard::WriteFile("fw.bin", image);
  fuzzboard::WriteFile("empty.bin", {});
  // A directory in the dump's place: the dump cannot be created, so a huge
  // size parameter costs nothing and no file grows between runs.
  std::filesystem::create_directory("XQRFW.bin");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments;
  std::string entry;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      arguments.push_back(entry);
      entry.clear();
      if (arguments.size() == kMaxEntries) break;
    } else {
      entry.push_back(static_cast<char>(data[i]));
    }
  }
  if (!entry.empty() && arguments.size() < kMaxEntries) arguments.push_back(entry);
  // /b names a file the program creates: keep it in the run's folder, so a
  // fuzzed "/b /etc/..." never replaces a file of the machine running this.
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i].rfind("/b", 0) != 0) continue;
    if (arguments[i].find('/', 1) != std::string::npos) arguments[i] = "/b";
    if (i + 1 < arguments.size()) arguments[i + 1] = "backup.bin";
  }

  fuzzboard::ArgvCopy argv(arguments);
  g_board.Start("mx25l512", 0x5512);
  const int status = tolvi::main(argv.argc(), argv.argv());
  g_board.CheckEnd(status);
  g_board.Stop();
  return 0;
}
