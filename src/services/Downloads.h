#pragma once

#include <webkit2/webkit2.h>

#include <functional>

namespace mlfk {

// Asks the user where each download of `context` goes: a save dialog with
// the engine's suggested name, modal to the window `parent` returns. What is
// at a confirmed path is removed first; a cancelled dialog cancels the
// download, leaving no file.
void handleDownloads(WebKitWebContext* context, std::function<GtkWindow*()> parent);

}  // namespace mlfk
