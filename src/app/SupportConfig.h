#pragma once

#include <string>
#include <string_view>

namespace mlfk {

namespace SupportConfig {
inline constexpr std::string_view kAddress = "support@meadowline.farm";
inline constexpr std::string_view kPublisherNotice = "\u00A9 2026 Meadowline Software Ltd.";
inline constexpr std::string_view kSupportSubject = "Meadowline Field Keeper support";

// The about dialog's three lines.
std::string credits();

// "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64": the system as the
// support mail names it.
std::string systemDescription();

// The mailto URL of a support mail: the address, then the subject and a body
// ending in the program's version and the system, as query values.
std::string mailUrl(std::string_view subject, std::string_view version, std::string_view build,
                    std::string_view system);

// Opens a new support mail in the user's mail program.
void contact(std::string_view subject);
}  // namespace SupportConfig

// Percent-encodes a URL query value: everything but unreserved characters and
// a few harmless delimiters, so "&", "=", "+" and "#" cannot end the value.
std::string encodeQueryValue(std::string_view value);

}  // namespace mlfk
