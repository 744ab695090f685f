#pragma once

#include <webkit2/webkit2.h>

#include "base/GObjectPtr.h"
#include "webhost/BridgeMessage.h"

namespace mlfk {

// The page's message as WebKit hands it over: values are read on demand,
// and a text is converted once, straight from the JavaScript string.
class JscBridgeMessage final : public BridgeMessage {
 public:
  explicit JscBridgeMessage(JSCValue* body);
  ~JscBridgeMessage() override;
  JscBridgeMessage(const JscBridgeMessage&) = delete;
  JscBridgeMessage& operator=(const JscBridgeMessage&) = delete;

  bool isDictionary() const override;
  std::optional<MessageText> text(std::string_view key) const override;
  std::optional<bool> boolean(std::string_view key) const override;

 private:
  JSCValue* property(std::string_view key) const;  // new reference or null
  GObjectPtr<JSCValue> body_;
};

// Answers a message through WebKit; a reply that is dropped unanswered
// rejects the page's promise rather than leaving it pending.
class JscBridgeReply final : public BridgeReply {
 public:
  JscBridgeReply(WebKitScriptMessageReply* reply, JSCContext* context);
  ~JscBridgeReply() override;
  JscBridgeReply(const JscBridgeReply&) = delete;
  JscBridgeReply& operator=(const JscBridgeReply&) = delete;

  void value(const nlohmann::json& result) override;
  void error(std::string_view text) override;

 private:
  WebKitScriptMessageReply* reply_;
  GObjectPtr<JSCContext> context_;
  bool answered_ = false;
};

}  // namespace mlfk
