#include "Bootstrap.h"

#include "services/Base64.h"
#include "store/DurableFile.h"

namespace mlfk {

std::string bootstrapScript(std::string_view database) {
  if (database.empty()) return std::string(kShellMarkerScript);
  constexpr std::string_view closing = "';";
  std::string script;
  // Sized once and encoded in place: a large database is never copied again.
  script.resize(kDatabaseScriptOpening.size() + base64EncodedSize(database.size()) +
                closing.size());
  char* out = script.data();
  out = std::copy(kDatabaseScriptOpening.begin(), kDatabaseScriptOpening.end(), out);
  base64EncodeInto(database, out);
  out += base64EncodedSize(database.size());
  std::copy(closing.begin(), closing.end(), out);
  return script;
}

std::string bootstrapScriptForFile(const std::filesystem::path& databaseFile) {
  const auto database = readWholeFile(databaseFile);
  return bootstrapScript(database ? std::string_view(*database) : std::string_view());
}

}  // namespace mlfk
