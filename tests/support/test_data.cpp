#include "support/test_data.h"

#include <cctype>
#include <cstdio>
#include <random>

namespace simtest {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> out(size);
  std::uint32_t x = seed * 2654435761u + 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345;
    out[i] = static_cast<std::uint8_t>((x >> 16) % 255);
  }
  return out;
}

std::string Marks(std::size_t count) {
  std::string marks;
  for (std::size_t i = 0; i < count; ++i) marks += "\xE2\x96\x88";
  return marks;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Hex(std::uint64_t value) {
  char text[20];
  std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(value));
  return text;
}

std::vector<std::string> SpiLines(std::uint8_t opcode, std::uint32_t start, std::uint32_t step,
                                  std::uint32_t count) {
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < count; ++i) {
    char line[32];
    std::snprintf(line, sizeof(line), "spi %02x @%06x", opcode, (start + i * step) & 0xFFFFFF);
    out.push_back(line);
  }
  return out;
}

std::string CompareFail(std::uint64_t offset, unsigned wanted, unsigned found, const char* what) {
  char text[80];
  std::snprintf(text, sizeof(text), "[%llx]=%x  ROM data=%x -- %s Fail. \n",
                static_cast<unsigned long long>(offset), wanted, found, what);
  return text;
}

}  // namespace simtest
