#include "ShellServices.h"

#include <sys/stat.h>

#include "desktop/FileManager.h"
#include "services/Dialogs.h"
#include "services/FileSaver.h"
#include "store/DisplayPath.h"
#include "store/FarmStore.h"
#include "webhost/FarmWebView.h"

namespace mlfk {

std::optional<std::string> ShellServices::savedDatabase() {
  return store_.databaseText();
}

std::string ShellServices::databasePath() {
  return displayPath(store_.databaseFile());
}

std::optional<std::string> ShellServices::persist(std::string_view text) {
  return store_.persist(text);
}

std::optional<std::string> ShellServices::snapshot(std::string_view reason) {
  return store_.snapshot(reason);
}

void ShellServices::reveal() {
  struct stat info;
  if (::stat(store_.databaseFile().c_str(), &info) == 0) {
    showFileInFileManager(store_.databaseFile(), store_.folder());
  } else {
    openWithDefaultHandler(store_.folder());
  }
}

void ShellServices::save(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply) {
  SaveRequest request = saveRequestFrom(message);
  const std::string name = request.filename;
  std::shared_ptr<BridgeReply> held(std::move(reply));
  chooseSaveDestination(
      web_ ? web_->window() : nullptr, name,
      [request = std::move(request), held](std::optional<std::filesystem::path> chosen) mutable {
        // A cancelled dialog writes nothing: no need to wait behind other writes.
        if (!chosen) return held->value(completeSave(request, chosen));
        auto result = std::make_shared<nlohmann::json>(
            nlohmann::json{{"ok", false}, {"error", "The file could not be written."}});
        writeInBackground([request = std::move(request), chosen = std::move(chosen),
                           result] { *result = completeSave(request, chosen); },
                          [held, result] { held->value(*result); });
      });
}

void ShellServices::schedulePrint(std::optional<std::string> html, std::string title) {
  if (web_) web_->schedulePrint(std::move(html), std::move(title));
}

}  // namespace mlfk
