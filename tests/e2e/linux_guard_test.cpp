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

  // A driver as the kernel shows it: its control files, and a link per device.
  void AddDriver(const char* driver = kLinuxAcpiEcDriver) {
    fs::create_directories(root_ / driver);
    for (const char* file : {"bind", "unbind", "uevent"}) std::ofstream(root_ / driver / file);
  }
  void BindDevice(const char* driver = kLinuxAcpiEcDriver, const char* device = "PNP0C09:00") {
    fs::create_directories(root_ / "devices/any" / device);
    fs::create_symlink(root_ / "devices/any" / device, root_ / driver / device);
  }

 private:
  fs::path root_;
};

TEST(LinuxDriverGuards, FindOnlyADeviceBoundToTheDriver) {
  const struct {
    const char* driver;
    const char* device;
  } drivers[] = {{kLinuxAcpiEcDriver, "PNP0C09:00"}, {kLinuxI8042Driver, "i8042"}};
  for (const auto& d : drivers) {
    SCOPED_TRACE(d.driver);
    FakeSysfs sysfs;
    const char* root = sysfs.Root().c_str();
    char name[64] = "untouched";
    EXPECT_FALSE(LinuxFindBoundDevice(root, d.driver, name, sizeof name)) << "no driver";
    sysfs.AddDriver(d.driver);
    EXPECT_FALSE(LinuxFindBoundDevice(root, d.driver, name, sizeof name)) << "no device";
    EXPECT_STREQ(name, "untouched");
    sysfs.BindDevice(d.driver, d.device);
    ASSERT_TRUE(LinuxFindBoundDevice(root, d.driver, name, sizeof name));
    EXPECT_STREQ(name, d.device);
    char short_name[4];
    ASSERT_TRUE(LinuxFindBoundDevice(root, d.driver, short_name, sizeof short_name));
    EXPECT_EQ(std::string(short_name), std::string(d.device).substr(0, 3));
  }
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
