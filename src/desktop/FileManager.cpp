#include "desktop/FileManager.h"

#include <gio/gio.h>

#include <string>

#include "base/Log.h"

namespace mlfk {
namespace {

std::string fileUri(const std::filesystem::path& path) {
  g_autoptr(GError) error = nullptr;
  g_autofree char* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  glib::logError(error, "no address for a file");
  return uri ? uri : std::string();
}

struct PendingReveal {
  std::string fileUri;
  std::filesystem::path fallbackFolder;
};

void onShowItemsAnswered(GObject* source, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<PendingReveal*>(data);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply =
      g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (!reply) {
    glib::logError(error, "the file manager did not show the file; opening its folder",
                   glib::Severity::Notice);
    openWithDefaultHandler(pending->fallbackFolder);
  }
  delete pending;
}

void onBusReady(GObject*, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<PendingReveal*>(data);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GDBusConnection) bus = g_bus_get_finish(result, &error);
  if (!bus) {
    glib::logError(error, "no session bus for the file manager; opening the folder",
                   glib::Severity::Notice);
    openWithDefaultHandler(pending->fallbackFolder);
    delete pending;
    return;
  }
  const char* uris[] = {pending->fileUri.c_str(), nullptr};
  g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems",
                         g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                         nullptr, onShowItemsAnswered, pending);
}

}  // namespace

void openUriWithDefaultHandler(const std::string& uri) {
  if (uri.empty()) return;
  g_app_info_launch_default_for_uri_async(
      uri.c_str(), nullptr, nullptr,
      +[](GObject*, GAsyncResult* result, gpointer) {
        g_autoptr(GError) error = nullptr;
        if (!g_app_info_launch_default_for_uri_finish(result, &error))
          glib::logError(error, "no program opened the address");
      },
      nullptr);
}

void openWithDefaultHandler(const std::filesystem::path& folder) {
  openUriWithDefaultHandler(fileUri(folder));
}

void showFileInFileManager(const std::filesystem::path& file,
                           const std::filesystem::path& fallbackFolder) {
  g_bus_get(G_BUS_TYPE_SESSION, nullptr, onBusReady,
            new PendingReveal{fileUri(file), fallbackFolder});
}

}  // namespace mlfk
