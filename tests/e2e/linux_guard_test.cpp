// The Linux tolvi and the kernel's own ACPI EC driver: while the driver has a
// device bound, the kernel may write to 0x62/0x66 between two tunnel bytes,
// so tolvi refuses before its first port access unless told to take the risk.
// A fake sysfs tree stands in for the kernel's.
#include <gtest/gtest.h>
#include <sys/io.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/linux_acpi_guard.h"

namespace {

namespace fs = std::filesystem;

class FakeSysfs {
 public:
  FakeSysfs() {
    char pattern[] = "/tmp/tolvi-sysfs-XXXXXX";
    root_ = mkdtemp(pattern);
  }
  ~FakeSysfs() { fs::remove_all(root_); }
  const fs::path& Root() const { return root_; }
  fs::path Driver() const { return root_ / "bus/acpi/drivers/ec"; }

  // The driver as the kernel shows it: its control files, and a link per device.
  void AddDriver() {
    fs::create_directories(Driver());
    for (const char* file : {"bind", "unbind", "uevent"}) std::ofstream(Driver() / file);
    fs::create_directories(root_ / "devices/LNXSYSTM:00/PNP0C09:00");
  }
  void BindDevice() {
    fs::create_symlink(root_ / "devices/LNXSYSTM:00/PNP0C09:00", Driver() / "PNP0C09:00");
  }

 private:
  fs::path root_;
};

TEST(LinuxAcpiEcGuard, FindsOnlyADeviceBoundToTheDriver) {
  FakeSysfs sysfs;
  char name[64] = "untouched";
  EXPECT_FALSE(LinuxFindAcpiEcDevice(sysfs.Root().c_str(), name, sizeof name)) << "no driver";
  sysfs.AddDriver();
  EXPECT_FALSE(LinuxFindAcpiEcDevice(sysfs.Root().c_str(), name, sizeof name)) << "no device";
  EXPECT_STREQ(name, "untouched");
  sysfs.BindDevice();
  ASSERT_TRUE(LinuxFindAcpiEcDevice(sysfs.Root().c_str(), name, sizeof name));
  EXPECT_STREQ(name, "PNP0C09:00");
  char short_name[4];
  ASSERT_TRUE(LinuxFindAcpiEcDevice(sysfs.Root().c_str(), short_name, sizeof short_name));
  EXPECT_STREQ(short_name, "PNP");
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome RunTolvi(const std::string& environment, const fs::path& dir) {
  const std::string command = "cd '" + dir.string() + "' && " + environment + " '" +
                              TOLVI_LINUX_BINARY "' ec.bin 64 >out.txt 2>err.txt";
  Outcome outcome;
  const int raw = std::system(command.c_str());
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  outcome.out = read("out.txt");
  outcome.err = read("err.txt");
  return outcome;
}

const char kRefusal[] =
    "tolvi: the kernel's ACPI EC driver is bound to PNP0C09:00: the kernel talks to ports "
    "0x62/0x66 at any time and would interleave its bytes with the flash tunnel.\n"
    "tolvi: run tolvi from the UEFI Shell (the safe way), or set TOLVI_ALLOW_ACPI_EC=1 to take "
    "the risk.\n";

TEST(LinuxAcpiEcGuard, TolviRefusesBeforeAnyPortAccessUnlessAllowed) {
  FakeSysfs sysfs;
  sysfs.AddDriver();
  sysfs.BindDevice();
  const std::string root = "TOLVI_SYSFS_ROOT='" + sysfs.Root().string() + "'";

  Outcome refused = RunTolvi(root, sysfs.Root());
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, kRefusal);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(RunTolvi(root + " TOLVI_ALLOW_ACPI_EC=yes", sysfs.Root()).err, kRefusal);

  // Allowed, tolvi goes on to the ports; only where this process cannot have
  // them either, so that a test never touches a real machine's EC.
  if (iopl(3) == 0) {
    iopl(0);
    GTEST_SKIP() << "port I/O is available here; the allowed run is left to the Linux guest";
  }
  Outcome allowed = RunTolvi(root + " TOLVI_ALLOW_ACPI_EC=1", sysfs.Root());
  EXPECT_EQ(allowed.status, 1);
  const std::string going_on =
      "tolvi: TOLVI_ALLOW_ACPI_EC=1: going on beside the kernel's ACPI EC driver (PNP0C09:00)\n"
      "tolvi: no access to I/O ports (run as root): ";
  EXPECT_EQ(allowed.err.substr(0, going_on.size()), going_on);
}

}  // namespace
