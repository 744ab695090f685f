// Any request URL resolves to a file inside the web root or to nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "webhost/BundleSchemeHandler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const mlfk::BundleSchemeHandler handler("/srv/mlfk-fuzz/web");
  const std::string url =
      "meadowline-farm://app/" + std::string(reinterpret_cast<const char*>(data), size);
  const auto file = handler.resolve(url);
  if (!file) return 0;
  const std::string path = file->string();
  if (path.find('\0') != std::string::npos) std::abort();
  if (path != "/srv/mlfk-fuzz/web" && path.rfind("/srv/mlfk-fuzz/web/", 0) != 0) std::abort();
  for (const auto& part : *file)
    if (part == "..") std::abort();
  return 0;
}
