#include "services/Downloads.h"

#include <unistd.h>

#include <memory>

#include "base/Callbacks.h"
#include "base/GObjectPtr.h"
#include "base/Log.h"
#include "services/Dialogs.h"
#include "services/FileSaver.h"
#include "store/DurableFile.h"

namespace mlfk {
namespace {

// A download is written beside its destination under a temporary name and
// takes the chosen name only once it is whole: a failed or cancelled
// download leaves the file that was there, and a folder chosen by mistake
// is never touched.
struct Transfer {
  std::filesystem::path temporary;
  std::filesystem::path destination;
  bool failed = false;
};

void writeViaTemporary(WebKitDownload* download, const std::filesystem::path& destination) {
  auto temporary = newTemporaryBeside(destination);
  if (!temporary) {
    webkit_download_cancel(download);
    return;
  }
  auto transfer = std::make_shared<Transfer>(Transfer{*temporary, destination});
  glib::connect<void(WebKitDownload*, GError*)>(
      download, "failed", [transfer](WebKitDownload*, GError* error) {
        transfer->failed = true;
        // Cancelling it ourselves (a chooser left unanswered) is not a failure.
        if (!g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER))
          glib::logError(error, "download failed");
      });
  glib::connect<void(WebKitDownload*)>(download, "finished", [transfer](WebKitDownload*) {
    if (transfer->failed) {
      ::unlink(transfer->temporary.c_str());
      return;
    }
    writeInBackground(
        [transfer] {
          if (auto error = publishFile(transfer->temporary, transfer->destination)) {
            g_warning("download not saved as %s: %s", transfer->destination.c_str(),
                      error->c_str());
            ::unlink(transfer->temporary.c_str());
          }
        },
        [] {});
  });
  g_autoptr(GError) error = nullptr;
  g_autofree char* uri = g_filename_to_uri(temporary->c_str(), nullptr, &error);
  glib::logError(error, "no address for the download's file");
  webkit_download_set_allow_overwrite(download, TRUE);  // the empty temporary file
  webkit_download_set_destination(download, uri);
}

gboolean decideDestination(WebKitDownload* download, const std::string& suggestedName,
                           GtkWindow* parent) {
  auto held = GObjectPtr<WebKitDownload>::retain(download);
  chooseSaveDestination(parent, suggestedName,
                        [held = std::make_shared<GObjectPtr<WebKitDownload>>(std::move(held))](
                            std::optional<std::filesystem::path> chosen) {
                          if (chosen)
                            writeViaTemporary(held->get(), *chosen);
                          else
                            webkit_download_cancel(held->get());
                        });
  return TRUE;  // answered later, once the dialog has closed
}

}  // namespace

void handleDownloads(WebKitWebContext* context, std::function<GtkWindow*()> parent) {
  glib::connect<void(WebKitWebContext*, WebKitDownload*)>(
      context, "download-started", [parent](WebKitWebContext*, WebKitDownload* download) {
        glib::connect<gboolean(WebKitDownload*, char*)>(
            download, "decide-destination", [parent](WebKitDownload* d, char* suggestedName) {
              return decideDestination(d, suggestedName ? suggestedName : "", parent());
            });
      });
}

}  // namespace mlfk
