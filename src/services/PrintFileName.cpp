#include "PrintFileName.h"

#include <glib.h>

namespace mlfk {
namespace {

// Bytes, leaving room for the ".pdf" GTK adds: names are limited to 255.
constexpr size_t kMaximumBytes = 200;

}  // namespace

std::string printFileName(std::string_view title) {
  std::string name;
  const char* p = title.data();
  const char* end = p + title.size();
  while (p < end) {
    const gunichar c = g_utf8_get_char_validated(p, end - p);
    const bool valid = c != static_cast<gunichar>(-1) && c != static_cast<gunichar>(-2);
    const char* next = valid ? g_utf8_next_char(p) : p + 1;  // not UTF-8: one byte at a time
    const std::string_view kept = !valid ? "_"
                                  : c == '/' || c == '\\' || g_unichar_iscntrl(c)
                                      ? "-"
                                      : std::string_view(p, next - p);
    if (name.size() + kept.size() > kMaximumBytes) break;
    name += kept;
    p = next;
  }
  const auto first = name.find_first_not_of(" .");
  name = first == std::string::npos ? std::string() : name.substr(first);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.empty() ? std::string("Field Keeper") : name;
}

void keepForNextPrint(GtkPrintSettings* settings) {
  if (const char* uri = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI)) {
    g_autoptr(GFile) file = g_file_new_for_uri(uri);
    g_autoptr(GFile) folder = g_file_get_parent(file);
    g_autofree char* path = folder ? g_file_get_path(folder) : nullptr;
    if (path) gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_DIR, path);
    gtk_print_settings_unset(settings, GTK_PRINT_SETTINGS_OUTPUT_URI);
  }
  for (const char* key :
       {GTK_PRINT_SETTINGS_OUTPUT_BASENAME, GTK_PRINT_SETTINGS_PRINT_PAGES,
        GTK_PRINT_SETTINGS_PAGE_RANGES, GTK_PRINT_SETTINGS_PAGE_SET, GTK_PRINT_SETTINGS_N_COPIES})
    gtk_print_settings_unset(settings, key);
}

}  // namespace mlfk
