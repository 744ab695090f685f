#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace mlfk {

// A text taken out of a message without further copies: `view` stays valid
// while `owner` lives.
struct MessageText {
  std::string_view view;
  std::shared_ptr<const void> owner;
};

// A light view of the page's message: its top-level keys.
// Values are taken out only when an action reads them.
class BridgeMessage {
 public:
  virtual ~BridgeMessage() = default;
  // A plain object (a dictionary with string keys), not an array, null or text.
  virtual bool isDictionary() const = 0;
  // The text under `key`, or nothing when it is missing or not a text.
  virtual std::optional<MessageText> text(std::string_view key) const = 0;
  // The Boolean under `key`, or nothing when it is missing or not a Boolean.
  virtual std::optional<bool> boolean(std::string_view key) const = 0;
};

// The answer to one message: a value that fulfils the page's promise, or an
// error text that rejects it. Each message is answered exactly once.
class BridgeReply {
 public:
  virtual ~BridgeReply() = default;
  virtual void value(const nlohmann::json& result) = 0;
  virtual void error(std::string_view text) = 0;
};

// A message held as JSON, for tests and tools.
class JsonBridgeMessage final : public BridgeMessage {
 public:
  explicit JsonBridgeMessage(nlohmann::json body) : body_(std::move(body)) {}
  bool isDictionary() const override { return body_.is_object(); }
  std::optional<MessageText> text(std::string_view key) const override;
  std::optional<bool> boolean(std::string_view key) const override;

 private:
  const nlohmann::json* find(std::string_view key) const;
  nlohmann::json body_;
};

}  // namespace mlfk
