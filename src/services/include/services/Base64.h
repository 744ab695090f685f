#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mlfk {

// Standard alphabet, "=" padding, no line breaks.
size_t base64EncodedSize(size_t bytes);
// Writes the encoding of `bytes` into `out`, which holds base64EncodedSize() chars.
void base64EncodeInto(std::string_view bytes, char* out);
std::string base64Encode(std::string_view bytes);

// Strict decoding: the length a multiple of four, only alphabet characters,
// "=" only as one or two final characters. Anything
// else (a space, a line break, a URL-safe character) fails the whole text.
std::optional<std::string> base64DecodeStrict(std::string_view text);

}  // namespace mlfk
