#pragma once

#include <webkit2/webkit2.h>

#include <functional>

namespace mlfk {

// Asks the user where each download of `context` goes: a save dialog with
// the engine's suggested name, modal to the window `parent` returns. A file
// at a confirmed path is replaced only once the download is whole; a
// cancelled dialog cancels the download, leaving no file.
void handleDownloads(WebKitWebContext* context, std::function<GtkWindow*()> parent);

}  // namespace mlfk
