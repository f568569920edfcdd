#include "support/tunnel_transactions.h"

#include <cstdio>
#include <sstream>

namespace simtest {
namespace {

constexpr unsigned kEcCommandPort = 0x66;
constexpr unsigned kEcDataPort = 0x62;
constexpr std::uint8_t kEnterFlashMode = 0xDC;
constexpr std::uint8_t kLeaveReset = 0xFE;
constexpr std::uint8_t kLeaveNoReset = 0xFC;

struct PortAccess {
  bool out;
  unsigned port;
  std::uint8_t value;
};

bool Parse(const std::string& line, PortAccess* access) {
  std::istringstream in(line);
  std::string direction;
  unsigned port = 0;
  unsigned value = 0;
  if (!(in >> direction >> std::hex >> port >> value)) return false;
  access->out = direction == "out";
  access->port = port;
  access->value = static_cast<std::uint8_t>(value);
  return true;
}

std::string Hex(std::uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof(text), "%02x", value);
  return text;
}

}  // namespace

TunnelView DecodeTunnel(const std::vector<std::string>& port_trace) {
  enum class Expect { kSubCommand, kOpcode, kData, kRead };
  TunnelView view;
  bool flash_mode = false;
  Expect expect = Expect::kSubCommand;
  SpiTransaction* open = nullptr;
  for (const std::string& line : port_trace) {
    PortAccess access{};
    if (!Parse(line, &access)) continue;
    if (expect == Expect::kRead) {
      if (!access.out && access.port == kEcDataPort) {
        if (open != nullptr) open->read.push_back(access.value);
        expect = Expect::kSubCommand;
      }
      continue;
    }
    if (!access.out || access.port != kEcCommandPort) continue;
    const std::uint8_t byte = access.value;
    if (!flash_mode) {
      view.ec_commands.push_back(byte);
      if (byte == kEnterFlashMode) flash_mode = true;
      continue;
    }
    switch (expect) {
      case Expect::kOpcode:
        if (open != nullptr) {
          open->opcode = byte;
          open->has_opcode = true;
        }
        expect = Expect::kSubCommand;
        continue;
      case Expect::kData:
        if (open != nullptr) open->written.push_back(byte);
        expect = Expect::kSubCommand;
        continue;
      default:
        break;
    }
    switch (byte) {
      case 0x01:
        view.transactions.emplace_back();
        open = &view.transactions.back();
        break;
      case 0x02:
        expect = Expect::kOpcode;
        break;
      case 0x03:
        expect = Expect::kData;
        break;
      case 0x04:
        expect = Expect::kRead;
        break;
      case 0x05:
        open = nullptr;
        break;
      case kLeaveReset:
      case kLeaveNoReset:
        view.ec_commands.push_back(byte);
        flash_mode = false;
        open = nullptr;
        break;
      default:
        view.ec_commands.push_back(byte);
        break;
    }
  }
  return view;
}

std::vector<SpiTransaction> FromFirst(const std::vector<SpiTransaction>& transactions,
                                      std::uint8_t opcode) {
  for (size_t i = 0; i < transactions.size(); ++i) {
    if (transactions[i].has_opcode && transactions[i].opcode == opcode)
      return std::vector<SpiTransaction>(transactions.begin() + static_cast<long>(i),
                                         transactions.end());
  }
  return transactions;
}

std::string Describe(const SpiTransaction& transaction, bool show_reads) {
  std::string text = transaction.has_opcode ? Hex(transaction.opcode) : "--";
  if (!transaction.written.empty()) {
    text += " w";
    for (size_t i = 0; i < transaction.written.size(); ++i) {
      if (i != 0) text += ',';
      text += Hex(transaction.written[i]);
    }
  }
  if (!transaction.read.empty()) {
    text += " r";
    text += std::to_string(transaction.read.size());
    if (show_reads) {
      text += ":";
      for (size_t i = 0; i < transaction.read.size(); ++i) {
        if (i != 0) text += ',';
        text += Hex(transaction.read[i]);
      }
    }
  }
  return text;
}

std::vector<std::string> Describe(const std::vector<SpiTransaction>& transactions) {
  std::vector<std::string> texts;
  for (const SpiTransaction& transaction : transactions) texts.push_back(Describe(transaction));
  return texts;
}

}  // namespace simtest
