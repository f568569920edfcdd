// Reads a port trace ("in 66 00", "out 66 dc", ...) back into what the EC's
// follow mode put on the SPI bus, so a test can assert the exact opcode,
// address and data bytes the program sent and the bytes it read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

struct SpiTransaction {
  std::uint8_t opcode = 0;
  bool has_opcode = false;
  std::vector<std::uint8_t> written;  // bytes after the opcode (sub-command 0x03)
  std::vector<std::uint8_t> read;     // bytes returned on 0x62 (sub-command 0x04)
};

struct TunnelView {
  // The EC commands written to 0x66 outside flash mode, in order (0xDC, the
  // leave byte, pre-enter commands, 0x80 reads).
  std::vector<std::uint8_t> ec_commands;
  // Every transaction opened by sub-command 0x01 while in flash mode.
  std::vector<SpiTransaction> transactions;
};

TunnelView DecodeTunnel(const std::vector<std::string>& port_trace);

// The transactions from the first one with this opcode on (all of them when
// none has it).
std::vector<SpiTransaction> FromFirst(const std::vector<SpiTransaction>& transactions,
                                      std::uint8_t opcode);

// "06", "05 r2", "01 w64,02", "35 r1:02": opcode, written bytes and the number
// of reads, for comparing whole sequences in one assertion. With
// show_reads, the bytes read are listed after ':'.
std::string Describe(const SpiTransaction& transaction, bool show_reads = false);
std::vector<std::string> Describe(const std::vector<SpiTransaction>& transactions);

}  // namespace simtest
