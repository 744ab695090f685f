#pragma once

#include <filesystem>

namespace mlfk {

// Shows `file` selected in the desktop's file manager through the
// org.freedesktop.FileManager1 interface on the session bus; when no file
// manager answers, opens `fallbackFolder` with the default handler. Returns at
// once: the bus is answered on the main loop, never waited for.
void showFileInFileManager(const std::filesystem::path& file,
                           const std::filesystem::path& fallbackFolder);

// Opens a folder (or any URI) with the desktop's default handler, without waiting.
void openWithDefaultHandler(const std::filesystem::path& folder);
void openUriWithDefaultHandler(const std::string& uri);

}  // namespace mlfk
