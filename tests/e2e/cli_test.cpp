// The command line end to end: the tolvi-sim program run as a person runs it,
// in a directory of its own, judged by its output, exit status and files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing::EndsWith;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

class Shell {
 public:
  Shell() {
    char pattern[] = "/tmp/tolvi-cli-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~Shell() { fs::remove_all(dir_); }

  struct Outcome {
    int status;
    std::string out;
  };

  Outcome Run(const std::string& arguments) const {
    std::string command = "cd '" + dir_ + "' && '" TOLVI_SIM_BINARY "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome outcome{-1, ""};
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) outcome.out.append(buffer, n);
    int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
  }

  void Write(const std::string& name, const std::vector<char>& bytes) const {
    std::ofstream(dir_ + "/" + name, std::ios::binary).write(bytes.data(), bytes.size());
  }
  std::vector<char> Read(const std::string& name) const {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string dir_;
};

struct CliCase {
  std::string arguments;
  int status;
  std::string output_start;
};

TEST(Cli, ExitStatusesOfTheCommandLine) {
  const std::string usage_start = " XQR Flash Utility Version : 2.3.0\n\r Usage : ";
  const std::vector<CliCase> cases = {
      {"--", 0, usage_start},
      {"-- /x", 1, usage_start},
      {"-- /MN", 1, usage_start},
      {"-- ec.bin", 1, "\n\rFile Size Paramter Lost, Please try again!\n\n"},
      {"-- missing.bin 64", 1, "\n\rFile Open Fail!"},
      {"--no-ec -- /x", 1, "\n\rPlease check 0x66/0x62 are decode and try again!\n\n"},
      {"-- /k", 1, "\n\rFlash Update Fail!"},
      {"-- /S", 1, usage_start},
      {"-- /V 0 300", 1, usage_start},
  };
  Shell shell;
  for (const CliCase& c : cases) {
    Shell::Outcome o = shell.Run(c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments;
    EXPECT_THAT(o.out, StartsWith(c.output_start)) << c.arguments;
  }
}

TEST(Cli, WrongParameterEndsTheScreenWithTheRefusal) {
  Shell shell;
  Shell::Outcome o = shell.Run("--screen -- /bk");
  EXPECT_EQ(o.status, 1);
  // The refusal starts its own line at the left edge below the usage, as the
  // firmware's print library returns to column 0 on "\n".
  EXPECT_THAT(o.out, HasSubstr("               |from BRAM | Current FW compare with file\n\n"
                               "Wrong Parameter! Please try again!\n"));
}

// --screen draws the final screen at the size asked for, with ANSI colours
// only where the program set an attribute other than the default.
TEST(Cli, ScreenShowsColoursAndTakesItsSize) {
  Shell shell;
  Shell::Outcome newer = shell.Run("--screen --bram-version 04,41 -- /VB 05A");
  EXPECT_EQ(newer.status, 0);
  EXPECT_THAT(newer.out,
              EndsWith("\nSIO FW version :04A\n"
                       "\x1b[92;40m=> Input version is newer then current FW!!\x1b[0m\n"));
  Shell::Outcome older = shell.Run("--screen --bram-version 04,41 -- /VB 03A");
  EXPECT_THAT(older.out, HasSubstr("\x1b[91;40m=> Input version is NOT newer"));

  // The usage takes 27 rows: 31 hold its banner, 25 have scrolled it away.
  const std::string banner = " XQR Flash Utility Version : 2.3.0\n";
  Shell::Outcome tall = shell.Run("--screen --screen-size 100x31 --");
  EXPECT_THAT(tall.out, HasSubstr(banner));
  EXPECT_THAT(tall.out, Not(HasSubstr("\x1b[")));
  Shell::Outcome classic = shell.Run("--screen --");
  EXPECT_THAT(classic.out, Not(HasSubstr(banner))) << "scrolls at 25 rows";
  EXPECT_EQ(shell.Run("--screen-size 80 --").status, 3);
}

TEST(Cli, FlashedImageComesBackThroughTheDump) {
  Shell shell;
  std::vector<char> image(0x20000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + (i >> 9));
  shell.Write("ec.bin", image);
  Shell::Outcome flashed = shell.Run("-- ec.bin 128");
  ASSERT_EQ(flashed.status, 0) << flashed.out;
  EXPECT_THAT(flashed.out, StartsWith("\n\rFile Size: 128K\n"
                                      "\n\rBlockNum: 0,  MaxBlock: 2,   PageCount: 128\n"));
  Shell::Outcome dumped = shell.Run("-- /S 128");
  ASSERT_EQ(dumped.status, 0) << dumped.out;
  EXPECT_THAT(dumped.out, StartsWith("Save FW to XQRFW.bin : "));
  EXPECT_EQ(shell.Read("XQRFW.bin"), image);
}

TEST(Cli, SizeParameterMismatchLeavesTheFlashUntouched) {
  Shell shell;
  shell.Write("ec.bin", std::vector<char>(0x10001, 0x12));
  Shell::Outcome o = shell.Run("-- ec.bin 64");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out,
            "\n\rFile Size: 65K\n\n\rParamter NOT Match with File Size, Please try again!\n\n"
            "The file holds 64K and 1 byte; the command line says 64K.\n");
  std::vector<char> flash = shell.Read("tolvi-sim-flash.bin");
  ASSERT_FALSE(flash.empty());
  EXPECT_EQ(std::count(flash.begin(), flash.end(), static_cast<char>(0xFF)),
            static_cast<long>(flash.size()));
}

}  // namespace
