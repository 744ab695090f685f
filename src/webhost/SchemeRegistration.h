#pragma once

#include <webkit2/webkit2.h>

#include <filesystem>

namespace mlfk {

// Serves `root` under "meadowline-farm" to every view of `context`, and tells
// the context the scheme is secure and CORS-enabled (not local), so that
// modules, fetch, fonts, workers and WebAssembly load as they would over https.
void registerBundleScheme(WebKitWebContext* context, const std::filesystem::path& root);

}  // namespace mlfk
