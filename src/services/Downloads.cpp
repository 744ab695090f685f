#include "services/Downloads.h"

#include "services/Dialogs.h"
#include "store/DurableFile.h"

namespace mlfk {
namespace {

gboolean decideDestination(WebKitDownload* download, char* suggestedName, gpointer data) {
  auto* parent = static_cast<std::function<GtkWindow*()>*>(data);
  g_object_ref(download);
  chooseSaveDestination((*parent)(), suggestedName ? suggestedName : "",
                        [download](std::optional<std::filesystem::path> chosen) {
                          if (chosen) {
                            removeEntry(*chosen);
                            g_autofree char* uri =
                                g_filename_to_uri(chosen->c_str(), nullptr, nullptr);
                            webkit_download_set_allow_overwrite(download, TRUE);
                            webkit_download_set_destination(download, uri);
                          } else {
                            webkit_download_cancel(download);
                          }
                          g_object_unref(download);
                        });
  return TRUE;  // answered later, once the dialog has closed
}

}  // namespace

void handleDownloads(WebKitWebContext* context, std::function<GtkWindow*()> parent) {
  auto* held = new std::function<GtkWindow*()>(std::move(parent));
  g_signal_connect_data(
      context, "download-started",
      G_CALLBACK(+[](WebKitWebContext*, WebKitDownload* download, gpointer data) {
        g_signal_connect(download, "decide-destination", G_CALLBACK(decideDestination), data);
      }),
      held, [](gpointer data, GClosure*) { delete static_cast<std::function<GtkWindow*()>*>(data); },
      GConnectFlags(0));
}

}  // namespace mlfk
