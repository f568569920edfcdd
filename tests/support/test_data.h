// Inputs and expected texts that many tests build: flash contents and
// images, and the progress marks as the console shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

// Reproducible bytes of every value, for flash contents a run must leave
// alone or for images whose checksum is compared.
std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed);

// A reproducible image with no 0xFF byte, so a cell left erased is seen.
std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed = 1);

// `count` progress marks (U+2588, full block) as UTF-8, the way the
// captured console holds them.
std::string Marks(std::size_t count);

// How many times `what` stands in `text`.
std::size_t Count(const std::string& text, const std::string& what);

std::string Lower(std::string text);

// Lowercase hexadecimal without padding, as the program prints most numbers.
std::string Hex(std::uint64_t value);

// The console up to the paragraph that follows a failure, for checks of
// how the failure itself ends.
// "spi OP @AAAAAA" for `count` commands of `opcode` from `start`, `step`
// bytes apart: erases as the transaction trace shows them.
std::vector<std::string> SpiLines(std::uint8_t opcode, std::uint32_t start, std::uint32_t step,
                                  std::uint32_t count);

// The line a read-back comparison ends with at its first differing byte
// ("Verify" or "Test"): image byte `wanted`, flash byte `found`.
std::string CompareFail(std::uint64_t offset, unsigned wanted, unsigned found, const char* what);

inline std::string BeforeAdvice(const std::string& console) {
  return console.substr(0, console.find("\n\rWhat to do now:\n\r"));
}

}  // namespace simtest
