#include "SupportConfig.h"

#include <glib.h>
#include <sys/utsname.h>

#include "AppInfo.h"
#include "desktop/FileManager.h"

namespace mlfk {

std::string encodeQueryValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    const bool keep =
        g_ascii_isalnum(c) ||
        std::string_view("-._~!$'()*,;:@/?").find(static_cast<char>(c)) != std::string_view::npos;
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string SupportConfig::credits() {
  return "Your farm. Your records.\n" + std::string(kPublisherNotice) + "\n" +
         std::string(kAddress);
}

std::string SupportConfig::systemDescription() {
  g_autofree char* pretty = g_get_os_info(G_OS_INFO_KEY_PRETTY_NAME);
  std::string text = pretty ? pretty : "Linux";
  struct utsname system;
  if (uname(&system) == 0) text += std::string(", ") + system.sysname + " " + system.release;
  return text;
}

std::string SupportConfig::mailUrl(std::string_view subject, std::string_view version,
                                   std::string_view build, std::string_view system) {
  std::string body = "\n\n----\nMeadowline Field Keeper ";
  body += version;
  body += " (build ";
  body += build;
  body += ")\n";
  body += system;
  return "mailto:" + std::string(kAddress) + "?subject=" + encodeQueryValue(subject) +
         "&body=" + encodeQueryValue(body);
}

void SupportConfig::contact(std::string_view subject) {
  openUriWithDefaultHandler(
      mailUrl(subject, AppInfo::version(), AppInfo::build(), systemDescription()));
}

}  // namespace mlfk
