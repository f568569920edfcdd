// Ctrl-C, a closed terminal or a kill during an update: tolvi-sim run as a
// separate process and signalled as a person or a session manager would.
// Inside the window (keyboard disabled, EC in flash mode) the signal is held
// and the update still ends with the image in the flash, the leave byte and
// the keyboard back; outside it the signal ends the run at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_data.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One tolvi-sim process in a directory of its own, its standard output and
// error in files there.
class SimProcess {
 public:
  SimProcess() {
    char pattern[] = "/tmp/tolvi-signal-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }

  fs::path Path(const std::string& name) const { return dir_ / name; }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(bytes.data(), bytes.size());
  }

  void Start(const std::vector<std::string>& arguments) {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      std::string name = TOLVI_SIM_BINARY;
      argv.push_back(name.data());
      std::vector<std::string> copies = arguments;
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }

  // Waits up to `limit` for the process to end; false if it is still running.
  bool Wait(std::chrono::seconds limit, int* raw_status) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      pid_t done = waitpid(pid_, raw_status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  void Signal(int number) const { kill(pid_, number); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

// Inside the window a signal is held and the run ends with the image in the
// flash, status 0 and the one line: sent from outside once the trace shows
// flash mode (the update slowed by an EC that keeps its input buffer full for
// many status reads), or raised by the harness at an access deep inside the
// block writes.
TEST(Interrupts, SignalInsideFlashModeIsHeldUntilTheFlashHoldsTheImage) {
  const struct {
    const char* name;
    int number;  // sent from outside; 0: raised by the harness at --interrupt-at
    std::vector<std::string> board;
  } cases[] = {
      {"SIGINT", SIGINT, {"--ec-latency", "150", "--trace", "trace.txt"}},
      {"SIGTERM", SIGTERM, {"--ec-latency", "150", "--trace", "trace.txt"}},
      {"SIGINT", 0, {"--interrupt-at", "5000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.number == 0 ? " raised at an access" : " sent"));
    SimProcess sim;
    const std::vector<uint8_t> bytes = simtest::TestImage(0x10000, 7);
    const std::string image(bytes.begin(), bytes.end());
    sim.WriteFile("ec.bin", image);
    std::vector<std::string> arguments = c.board;
    arguments.insert(arguments.end(), {"--", "ec.bin", "64"});
    const auto started = Clock::now();
    sim.Start(arguments);
    if (c.number != 0) {
      bool in_flash_mode = false;
      while (!in_flash_mode && sim.Running() && Clock::now() - started < std::chrono::seconds(60)) {
        in_flash_mode = ReadAll(sim.Path("trace.txt")).find("ec dc -> 33") != std::string::npos;
        if (!in_flash_mode) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      ASSERT_TRUE(in_flash_mode) << "the update never reached flash mode while running";
      sim.Signal(c.number);
    }

    int raw = 0;
    ASSERT_TRUE(sim.Wait(std::chrono::seconds(120), &raw));
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << WTERMSIG(raw);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(ReadAll(sim.Path("stderr.txt")),
              std::string("tolvi: ") + c.name +
                  " held until the operation had ended: the EC was in flash mode, and stopping "
                  "there would leave it without firmware\n");
    const std::string flash = ReadAll(sim.Path("tolvi-sim-flash.bin"));
    ASSERT_GE(flash.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    if (c.number == 0) continue;
    const std::string trace = ReadAll(sim.Path("trace.txt"));
    EXPECT_NE(trace.find("ec fe\nkbc ae\n"), std::string::npos);
    EXPECT_EQ(trace.substr(trace.size() - 7), "kbc ae\n");
    EXPECT_NE(ReadAll(sim.Path("stdout.txt")).find(" -- Verify OK. "), std::string::npos);
  }
}

// The harness raises SIGINT at the first port access, the super-I/O probe
// that comes before the keyboard or the EC is touched: the run ends at once
// and the flash file is never written back.
TEST(Interrupts, SignalBeforeFlashModeEndsTheRunAtOnceWithTheFlashUntouched) {
  SimProcess sim;
  const std::string before(0x100000, '\x5a');
  sim.WriteFile("tolvi-sim-flash.bin", before);
  sim.WriteFile("ec.bin", std::string(0x10000, '\x11'));
  sim.Start({"--interrupt-at", "1", "--trace", "trace.txt", "--trace-ports", "ports.txt", "--",
             "ec.bin", "64"});
  int raw = 0;
  ASSERT_TRUE(sim.Wait(std::chrono::seconds(10), &raw)) << "the signal was held outside the window";
  ASSERT_TRUE(WIFSIGNALED(raw));
  EXPECT_EQ(WTERMSIG(raw), SIGINT);
  EXPECT_EQ(ReadAll(sim.Path("stderr.txt")), "");
  EXPECT_EQ(ReadAll(sim.Path("tolvi-sim-flash.bin")), before);
  EXPECT_EQ(ReadAll(sim.Path("trace.txt")).find("kbc ad"), std::string::npos);
}

}  // namespace
