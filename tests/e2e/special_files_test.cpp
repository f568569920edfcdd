// Names that are no plain file: a directory, a FIFO, a device, as the image,
// the /c file, the /VBF file or the dump's XQRFW.bin. Each is refused with its
// operation's own open failure and status 1 before the keyboard controller or
// the EC hears a command, so nothing waits on a FIFO with the EC in flash
// mode; the flash stays as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/host_deadline.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

enum class Kind { kDirectory, kFifo, kDevice };

void MakeSpecial(const SimFixture& sim, const std::string& name, Kind kind) {
  const std::string path = sim.Path(name);
  switch (kind) {
    case Kind::kDirectory:
      ASSERT_TRUE(std::filesystem::create_directory(path));
      break;
    case Kind::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      break;
    case Kind::kDevice:
      ASSERT_TRUE(std::filesystem::is_character_file("/dev/null"));
      std::filesystem::create_symlink("/dev/null", path);
      break;
  }
}

// A reader blocked on a FIFO would hang the test: after a while the FIFO
// gets a writer that leaves at once, which ends the open with an empty file,
// and the run is marked as one that waited.
struct FifoRelease {
  explicit FifoRelease(std::string path)
      : deadline(std::chrono::seconds(5), [this, path = std::move(path)] {
          const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
          if (fd >= 0) {
            released = true;
            close(fd);
          }
        }) {}
  std::atomic<bool> released{false};
  simtest::HostDeadline deadline;  // last: watches once `released` exists
};

// Port accesses of the start-up alone: the super-I/O probe and the two reads
// that tell whether the EC's ports decode.
bool StartUpOnly(const std::vector<std::string>& ports) {
  for (const std::string& line : ports) {
    const std::string port = line.substr(line.find(' ') + 1, 2);
    const bool sio = port == "2e" || port == "2f" || port == "4e" || port == "4f";
    const bool ec_probe = line.rfind("in 62", 0) == 0 || line.rfind("in 66", 0) == 0;
    if (!sio && !ec_probe) return false;
  }
  return true;
}

struct Operation {
  const char* name;
  const char* file;  // the name made special
  std::vector<std::string> args;
  std::string console;  // all the run prints, before any banner clears it
};

TEST(SpecialFiles, AreRefusedWithTheOperationsOpenFailureBeforeTheControllers) {
  const auto kNotAFile = [](const std::string& name) {
    return "\n\rFile Open Fail!\n\r\"" + name + "\" is a folder or a device, not a file.";
  };
  const std::vector<Operation> operations = {
      {"image", "ec.bin", {"ec.bin", "64"}, kNotAFile("ec.bin")},
      {"image, no size", "ec.bin", {"ec.bin", "0", "/k"}, kNotAFile("ec.bin")},
      {"checksum", "ec.bin", {"/c", "ec.bin"}, kNotAFile("ec.bin")},
      {"BRAM against a file",
       "fw.bin",
       {"/VBF", "fw.bin"},
       " XQR Flash Utility Version : "},  // the banner, then the failure
      {"dump", "XQRFW.bin", {"/S", "32"}, "Save FW to XQRFW.bin : open XQRFW.bin fail"},
  };
  const struct {
    Kind kind;
    const char* name;
  } kinds[] = {{Kind::kDirectory, "directory"}, {Kind::kFifo, "FIFO"}, {Kind::kDevice, "device"}};
  const std::vector<uint8_t> before = simtest::TestImage(0x100000, 3);
  for (const Operation& op : operations) {
    for (const auto& k : kinds) {
      SCOPED_TRACE(std::string(op.name) + " as a " + k.name);
      SimFixture sim;
      sim.WriteFile("tolvi-sim-flash.bin", before);
      MakeSpecial(sim, op.file, k.kind);
      SimResult r;
      bool waited = false;
      {
        FifoRelease release(sim.Path(op.file));
        r = sim.Run({}, op.args, {.port_trace = true});
        waited = release.released;
      }
      EXPECT_FALSE(waited) << "the run waited on the FIFO";
      EXPECT_EQ(r.status, 1);
      if (op.file == std::string("fw.bin")) {
        EXPECT_EQ(r.console.rfind(op.console, 0), 0u) << r.console;
        EXPECT_TRUE(r.console.ends_with(kNotAFile("fw.bin"))) << r.console;
        EXPECT_EQ(r.console.find("Chip ID"), std::string::npos) << r.console;
      } else {
        EXPECT_EQ(r.console, op.console);
      }
      EXPECT_TRUE(StartUpOnly(r.port_trace));
      EXPECT_TRUE(r.TraceLines("kbc ").empty());
      EXPECT_TRUE(r.TraceLines("ec ").empty());
      EXPECT_TRUE(r.TraceLines("spi ").empty());
      EXPECT_EQ(r.ec_flash_mode_entries, 0u);
      EXPECT_TRUE(r.flash == before);
    }
  }
}

}  // namespace
