#include "services/FileSaver.h"

#include "base/Callbacks.h"
#include "services/Base64.h"
#include "store/DisplayPath.h"
#include "store/DurableFile.h"
#include "store/SerialQueue.h"

namespace mlfk {

nlohmann::json completeSave(const SaveRequest& request,
                            const std::optional<std::filesystem::path>& chosen) {
  if (!chosen) return {{"cancelled", true}};
  std::optional<std::string> decoded;
  if (request.base64) {
    decoded = base64DecodeStrict(request.content);
    if (!decoded) return {{"ok", false}, {"error", kDamagedDataError}};
  }
  const std::string_view bytes = decoded ? std::string_view(*decoded) : request.content;
  if (auto failure = writeFileDurably(*chosen, bytes)) return {{"ok", false}, {"error", *failure}};
  return {{"ok", true}, {"path", displayPath(*chosen)}};
}

void writeInBackground(std::function<void()> work, std::function<void()> done) {
  static SerialQueue writer;
  writer.async([work = std::move(work), done = std::move(done)]() mutable {
    glib::guarded(work);
    glib::idleOnce(std::move(done));
  });
}

}  // namespace mlfk
