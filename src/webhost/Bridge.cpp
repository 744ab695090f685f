#include "webhost/Bridge.h"

#include "base/Identity.h"

namespace mlfk {

std::optional<MessageText> JsonBridgeMessage::text(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_string()) return std::nullopt;
  return MessageText{value->get_ref<const std::string&>(), nullptr};
}

std::optional<bool> JsonBridgeMessage::boolean(std::string_view key) const {
  const auto* value = find(key);
  if (!value || !value->is_boolean()) return std::nullopt;
  return value->get<bool>();
}

const nlohmann::json* JsonBridgeMessage::find(std::string_view key) const {
  if (!body_.is_object()) return nullptr;
  auto it = body_.find(key);
  return it == body_.end() ? nullptr : &*it;
}

SaveRequest saveRequestFrom(const BridgeMessage& message) {
  SaveRequest request;
  if (auto name = message.text("filename")) request.filename = name->view;
  if (auto content = message.text("content")) request.content = content->view;
  request.base64 = message.boolean("base64").value_or(false);
  return request;
}

namespace {

nlohmann::json ok() {
  return {{"ok", true}};
}

}  // namespace

void dispatchBridgeMessage(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply,
                           BridgeServices& services) {
  if (!message.isDictionary()) return reply->error("Bad message");
  const auto action = message.text("action");
  if (!action) return reply->error("Bad message");
  const std::string_view name = action->view;

  if (name == "ping") {
    return reply->value(
        {{"version", 2}, {"dataPath", services.databasePath()}, {"shell", kShellName}});
  }
  if (name == "persist") {
    const auto content = message.text("content");
    // Writing an empty text over the farm's records would lose them.
    if (!content) {
      return reply->value(
          {{"ok", false},
           {"error", "Nothing was saved: the message had no text under \"content\"."}});
    }
    if (auto failure = services.persist(content->view)) {
      return reply->value({{"ok", false}, {"error", *failure}});
    }
    return reply->value(ok());
  }
  if (name == "snapshot") {
    const auto reason = message.text("reason");
    // The page goes on to import or delete only after this answer: a
    // snapshot that was not made must not read as one that was.
    if (auto failure = services.snapshot(reason ? reason->view : kDefaultSnapshotReason)) {
      return reply->value({{"ok", false}, {"error", *failure}});
    }
    return reply->value(ok());
  }
  if (name == "save") return services.save(message, std::move(reply));
  if (name == "print") {
    reply->value(ok());
    std::optional<std::string> html;
    if (auto text = message.text("html")) html = std::string(text->view);
    const auto title = message.text("title");
    services.schedulePrint(std::move(html), std::string(title ? title->view : kDefaultPrintTitle));
    return;
  }
  if (name == "reveal") {
    services.reveal();
    return reply->value(ok());
  }
  reply->error("Unknown action: " + std::string(name));
}

}  // namespace mlfk
