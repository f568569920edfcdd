#include "support/frame_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/sim_fixture.h"

namespace simtest {

std::vector<FrameCase> FrameCases(const std::string& option) {
  const std::vector<std::string> keyboard = {"kbc ad", "kbc ae"};
  const std::vector<std::string> plain = {"ec dc -> 33", "ec fc"};
  const std::vector<std::string> pre_enter_chip = {"--chip-id", "5570"};
  const std::vector<std::string> wrong = {"ec dc -> 32", "ec fc"};
  const std::vector<std::string> zero = {"ec dc -> 00", "ec fc"};
  const std::vector<std::string> pre_enter = {"ec dd", "ec dc -> 33", "ec fc"};
  const std::vector<std::string> alt_enter = {"ec de", "ec dc -> 33", "ec fc"};
  // clang-format off
  return {
      {"plain", {}, {option}, keyboard, plain, true},
      {"/j still leaves with fc", {}, {option, "/j"}, keyboard, plain, true},
      // The line is printed, but the keyboard controller hears nothing.
      {"/k", {}, {option, "/k"}, {}, plain, true},
      {"/k before the option", {}, {"/k", option}, {}, plain, true},
      {"wrong acknowledgement goes on", {"--ec-ack", "32"}, {option}, keyboard, wrong, false},
      {"zero acknowledgement goes on", {"--ec-ack", "00"}, {option}, keyboard, zero, false},
      {"pre-enter chip", pre_enter_chip, {option}, keyboard, pre_enter, true},
      {"pre-enter chip with /e", pre_enter_chip, {option, "/e"}, keyboard, alt_enter, true},
      {"pre-enter chip with /e first", pre_enter_chip, {"/e", option}, keyboard, alt_enter, true},
      {"/e on another chip", {}, {"/e", option}, keyboard, plain, true},
  };
  // clang-format on
}

std::string FrameStart(bool ack_ok) {
  return std::string("Send KB Cmd 0xAD \n\nSend EC Cmd 0xDC \n\nRead EC Data \n\n") +
         (ack_ok ? "EC ACK OK. \n\n" : "EC ACK Fail. \n\n");
}

void ExpectLatchTimeoutLeavesTheFrame(const std::string& option) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> kbc;
  };
  const std::vector<std::string> keyboard = {"kbc ad", "kbc ae"};
  for (const Case& c :
       {Case{{option}, keyboard}, Case{{option, "/j"}, keyboard}, Case{{option, "/k"}, {}}}) {
    SCOPED_TRACE(c.args.back());
    SimResult r = RunSim({"--fault", "wel-never-sets"}, c.args);
    EXPECT_EQ(r.status, 1);
    // Given up before anything was erased or written.
    EXPECT_TRUE(
        r.console.ends_with("\n\rTime-out: SPI flash write-enable latch never set\n"
                            "The flash chip did not take the write enable.\n"
                            "\n\rWhat to do now:\n\r"
                            "The flash was not changed. It is safe to power off.\n\r"))
        << r.console;
    EXPECT_THAT(r.TraceLines("ec "), testing::ElementsAre("ec dc -> 33", "ec fc"));
    EXPECT_EQ(r.TraceLines("kbc "), c.kbc);
    EXPECT_FALSE(r.ec_in_flash_mode);
    EXPECT_FALSE(r.spi_selected);
    EXPECT_TRUE(r.keyboard_enabled);
    EXPECT_EQ(r.ec_resets, 0u);
  }
}

}  // namespace simtest
