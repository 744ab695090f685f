#include "store/DisplayPath.h"

#include <glib.h>

namespace mlfk {

std::string displayPath(const std::filesystem::path& path) {
  const std::string& bytes = path.native();
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
  g_autofree char* shown = g_filename_display_name(bytes.c_str());
  return shown;
}

}  // namespace mlfk
