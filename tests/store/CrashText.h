#pragma once

#include <cstdint>
#include <string>

namespace mlfk::test {

// The n-th database of the crash test: its number at both ends and a body
// whose size and bytes depend on n, so a torn or mixed file cannot pass.
inline std::string crashText(uint64_t n) {
  std::string text = "{\"save\":" + std::to_string(n) + ",\"body\":\"";
  const size_t size = 1024 + (n * 7919) % (192 * 1024);
  for (size_t i = 0; i < size; ++i) text += static_cast<char>('a' + (n + i) % 26);
  text += "\",\"end\":" + std::to_string(n) + "}";
  return text;
}

}  // namespace mlfk::test
