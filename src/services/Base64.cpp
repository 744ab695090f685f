#include "services/Base64.h"

#include <array>
#include <cstdint>

namespace mlfk {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}
constexpr auto kDecode = decodeTable();

}  // namespace

size_t base64EncodedSize(size_t bytes) {
  return (bytes + 2) / 3 * 4;
}

void base64EncodeInto(std::string_view bytes, char* out) {
  const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t whole = bytes.size() / 3 * 3;
  // A plain loop over whole groups, with no branches inside, vectorises well.
  for (size_t i = 0; i < whole; i += 3, out += 4) {
    const uint32_t group = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
    out[0] = kAlphabet[(group >> 18) & 63];
    out[1] = kAlphabet[(group >> 12) & 63];
    out[2] = kAlphabet[(group >> 6) & 63];
    out[3] = kAlphabet[group & 63];
  }
  const size_t rest = bytes.size() - whole;
  if (rest == 0) return;
  uint32_t group = uint32_t(in[whole]) << 16;
  if (rest == 2) group |= uint32_t(in[whole + 1]) << 8;
  out[0] = kAlphabet[(group >> 18) & 63];
  out[1] = kAlphabet[(group >> 12) & 63];
  out[2] = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out[3] = '=';
}

std::string base64Encode(std::string_view bytes) {
  std::string out(base64EncodedSize(bytes.size()), '\0');
  base64EncodeInto(bytes, out.data());
  return out;
}

std::optional<std::string> base64DecodeStrict(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (!text.empty() && text.back() == '=')
    padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  const size_t groups = text.size() / 4;
  for (size_t g = 0; g < groups; ++g) {
    const bool last = g + 1 == groups;
    const size_t significant = last ? 4 - padding : 4;
    uint32_t value = 0;
    for (size_t k = 0; k < 4; ++k) {
      const auto c = static_cast<uint8_t>(text[g * 4 + k]);
      int8_t v = 0;
      if (k < significant) {
        v = kDecode[c];
        if (v < 0) return std::nullopt;
      } else if (c != '=') {
        return std::nullopt;
      }
      value = (value << 6) | static_cast<uint32_t>(v);
    }
    out.push_back(static_cast<char>(value >> 16));
    if (significant > 2) out.push_back(static_cast<char>((value >> 8) & 0xFF));
    if (significant > 3) out.push_back(static_cast<char>(value & 0xFF));
  }
  return out;
}

}  // namespace mlfk
