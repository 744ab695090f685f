#include "JscBridgeMessage.h"

#include <string>

namespace mlfk {

JscBridgeMessage::JscBridgeMessage(JSCValue* body) : body_(GObjectPtr<JSCValue>::retain(body)) {}

JscBridgeMessage::~JscBridgeMessage() = default;

bool JscBridgeMessage::isDictionary() const {
  return jsc_value_is_object(body_.get()) && !jsc_value_is_array(body_.get()) &&
         !jsc_value_is_function(body_.get());
}

JSCValue* JscBridgeMessage::property(std::string_view key) const {
  if (!isDictionary()) return nullptr;
  const std::string name(key);
  if (!jsc_value_object_has_property(body_.get(), name.c_str())) return nullptr;
  return jsc_value_object_get_property(body_.get(), name.c_str());
}

std::optional<MessageText> JscBridgeMessage::text(std::string_view key) const {
  g_autoptr(JSCValue) value = property(key);
  if (!value || !jsc_value_is_string(value)) return std::nullopt;
  // The bytes of a string end, silently, at a lone surrogate (a text cut
  // inside a character pair): it becomes U+FFFD instead, as a browser
  // writes it, and the rest of the text is kept.
  g_autoptr(JSCValue) wellFormed =
      jsc_value_object_invoke_method(value, "toWellFormed", G_TYPE_NONE);
  JSCValue* whole = wellFormed && jsc_value_is_string(wellFormed) ? wellFormed : value;
  // One conversion from the JavaScript string, kept alive by the view; a NUL
  // inside the text survives, unlike with a C string.
  GBytes* bytes = jsc_value_to_string_as_bytes(whole);
  if (!bytes) return std::nullopt;
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::shared_ptr<const void> owner(
      bytes, [](const void* b) { g_bytes_unref(static_cast<GBytes*>(const_cast<void*>(b))); });
  return MessageText{std::string_view(data ? data : "", size), std::move(owner)};
}

std::optional<bool> JscBridgeMessage::boolean(std::string_view key) const {
  g_autoptr(JSCValue) value = property(key);
  if (!value || !jsc_value_is_boolean(value)) return std::nullopt;
  return jsc_value_to_boolean(value) != FALSE;
}

JscBridgeReply::JscBridgeReply(WebKitScriptMessageReply* reply, JSCContext* context)
    : reply_(webkit_script_message_reply_ref(reply)),
      context_(GObjectPtr<JSCContext>::retain(context)) {}

JscBridgeReply::~JscBridgeReply() {
  if (!answered_) error("The shell dropped this message without an answer.");
  webkit_script_message_reply_unref(reply_);
}

void JscBridgeReply::value(const nlohmann::json& result) {
  if (answered_) return;
  answered_ = true;
  // Never throws: text that is not UTF-8 reaches the page with U+FFFD.
  const std::string text = result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  g_autoptr(JSCValue) value = jsc_value_new_from_json(context_.get(), text.c_str());
  webkit_script_message_reply_return_value(reply_, value);
}

void JscBridgeReply::error(std::string_view text) {
  if (answered_) return;
  answered_ = true;
  const std::string message(text);
  webkit_script_message_reply_return_error_message(reply_, message.c_str());
}

}  // namespace mlfk
