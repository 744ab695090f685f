// Any message body is answered exactly once, and strict Base64 never
// accepts a text that does not re-encode to itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/Base64.h"
#include "webhost/Bridge.h"

namespace {

struct CountingReply final : mlfk::BridgeReply {
  int* answers;
  explicit CountingReply(int* a) : answers(a) {}
  void value(const nlohmann::json&) override { ++*answers; }
  void error(std::string_view) override { ++*answers; }
};

struct Services final : mlfk::BridgeServices {
  std::optional<std::string> savedDatabase() override { return std::nullopt; }
  std::string databasePath() override { return "/data/farm-data.json"; }
  std::optional<std::string> persist(std::string_view text) override {
    if (text.size() % 2) return std::string("odd");
    return std::nullopt;
  }
  std::optional<std::string> snapshot(std::string_view) override { return std::nullopt; }
  void reveal() override {}
  void save(const mlfk::BridgeMessage& message, std::unique_ptr<mlfk::BridgeReply> reply) override {
    auto request = mlfk::saveRequestFrom(message);
    reply->value({{"cancelled", request.filename.empty()}});
  }
  void schedulePrint(std::optional<std::string>, std::string) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (auto decoded = mlfk::base64DecodeStrict(text)) {
    if (mlfk::base64Encode(*decoded).size() != text.size()) std::abort();
  }
  auto body = nlohmann::json::parse(text, nullptr, false);
  if (body.is_discarded()) body = text;
  int answers = 0;
  Services services;
  mlfk::dispatchBridgeMessage(mlfk::JsonBridgeMessage(body),
                              std::make_unique<CountingReply>(&answers), services);
  if (answers != 1) std::abort();
  return 0;
}
