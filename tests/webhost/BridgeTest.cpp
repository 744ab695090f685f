#include "webhost/Bridge.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using nlohmann::json;
using Calls = std::vector<std::string>;

// Records every answer; the dispatcher must give exactly one.
struct Answers {
  int count = 0;
  std::optional<json> value;
  std::optional<std::string> error;
};

struct RecordingReply final : BridgeReply {
  explicit RecordingReply(Answers& a) : answers(a) {}
  void value(const json& result) override { ++answers.count, answers.value = result; }
  void error(std::string_view text) override { ++answers.count, answers.error = std::string(text); }
  Answers& answers;
};

struct FakeServices final : BridgeServices {
  Calls calls;
  std::optional<std::string> failure;  // of persist and snapshot
  std::unique_ptr<BridgeReply> heldSaveReply;
  std::optional<std::string> printedHtml;
  std::string printedTitle;
  int answersWhenPrintScheduled = -1;
  Answers* current = nullptr;

  std::string databasePath() override { return "/data/farm-data.json"; }
  std::optional<std::string> persist(std::string_view text) override {
    calls.push_back("persist:" + std::string(text));
    return failure;
  }
  std::optional<std::string> snapshot(std::string_view reason) override {
    calls.push_back("snapshot:" + std::string(reason));
    return failure;
  }
  void reveal() override { calls.push_back("reveal"); }
  void save(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply) override {
    calls.push_back("save:" + saveRequestFrom(message).filename);
    heldSaveReply = std::move(reply);
  }
  void schedulePrint(std::optional<std::string> html, std::string title) override {
    printedHtml = std::move(html);
    printedTitle = std::move(title);
    answersWhenPrintScheduled = current->count;
  }
};

class BridgeTest : public ::testing::Test {
 protected:
  Answers send(json body) {
    Answers answers;
    services.current = &answers;
    dispatchBridgeMessage(JsonBridgeMessage(std::move(body)),
                          std::make_unique<RecordingReply>(answers), services);
    return answers;
  }
  FakeServices services;
};

TEST_F(BridgeTest, MalformedBodiesAndUnknownCaseSensitiveActionsAreRejectedOnce) {
  for (json body : {json("ping"), json(5), json::array({"ping"}), json(nullptr), json::object(),
                    json{{"action", 5}}, json{{"action", nullptr}}, json{{"Action", "ping"}},
                    json{{"action", json::array({"ping"})}}}) {
    auto reply = send(body);
    EXPECT_EQ(reply.count, 1) << body;
    EXPECT_EQ(reply.error, "Bad message") << body;
  }
  for (std::string action : {"Ping", "", "persist "}) {
    auto reply = send({{"action", action}});
    EXPECT_EQ(reply.count, 1);
    EXPECT_EQ(reply.error, "Unknown action: " + action);
  }
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(BridgeTest, PingPersistSnapshotAndRevealAnswerWithValuesEvenOnFailure) {
  auto ping = send({{"action", "ping"}, {"extra", true}});
  EXPECT_EQ(ping.count, 1);
  EXPECT_EQ(ping.value,
            (json{{"version", 2}, {"dataPath", "/data/farm-data.json"}, {"shell", "mac-native"}}));
  EXPECT_EQ(send({{"action", "persist"}, {"content", "{\"a\":1}"}}).value, (json{{"ok", true}}));
  for (json content : {json(nullptr), json(42), json::object()}) {  // no text: nothing written
    auto reply = send({{"action", "persist"}, {"content", content}});
    ASSERT_TRUE(reply.value);
    EXPECT_EQ((*reply.value)["ok"], false);
    EXPECT_TRUE((*reply.value)["error"].is_string());
  }
  EXPECT_EQ(send({{"action", "persist"}}).value.value_or(json())["ok"], false);
  EXPECT_EQ(send({{"action", "snapshot"}}).value, (json{{"ok", true}}));
  send({{"action", "snapshot"}, {"reason", 7}});
  send({{"action", "snapshot"}, {"reason", "before import"}});
  EXPECT_EQ(send({{"action", "reveal"}}).value, (json{{"ok", true}}));

  // The page goes on (to import, say) only after a save or snapshot that was made.
  services.failure = "No space left on device";
  for (std::string action : {"persist", "snapshot"}) {
    auto failed = send({{"action", action}, {"content", ""}});
    EXPECT_EQ(failed.count, 1);
    EXPECT_FALSE(failed.error);
    EXPECT_EQ(failed.value, (json{{"ok", false}, {"error", "No space left on device"}}));
  }
  EXPECT_EQ(services.calls,
            (Calls{"persist:{\"a\":1}", "snapshot:snapshot", "snapshot:snapshot",
                   "snapshot:before import", "reveal", "persist:", "snapshot:snapshot"}));
}

TEST_F(BridgeTest, PrintRepliesBeforeItIsScheduledAndSaveIsAnsweredLater) {
  EXPECT_EQ(send({{"action", "print"}, {"html", "<p>x</p>"}}).value, (json{{"ok", true}}));
  EXPECT_EQ(services.answersWhenPrintScheduled, 1);
  EXPECT_EQ(services.printedHtml, "<p>x</p>");
  EXPECT_EQ(services.printedTitle, "Field Keeper");
  send({{"action", "print"}, {"html", 3}, {"title", "Herd"}});
  EXPECT_EQ(services.printedHtml, std::nullopt);
  EXPECT_EQ(services.printedTitle, "Herd");

  EXPECT_EQ(send({{"action", "save"}, {"filename", 12}}).count, 0);
  EXPECT_EQ(services.calls, (Calls{"save:Field Keeper export.csv"}));
  EXPECT_TRUE(services.heldSaveReply);
}

TEST(SaveRequest, DefaultsForMissingAndMistypedKeys) {
  auto request = saveRequestFrom(JsonBridgeMessage(json{{"action", "save"}}));
  EXPECT_EQ(std::tuple(request.filename, request.content, request.base64),
            std::tuple("Field Keeper export.csv", "", false));
  request = saveRequestFrom(
      JsonBridgeMessage(json{{"filename", "herd.csv"}, {"content", "a,b"}, {"base64", "true"}}));
  // The text "true" is not a Boolean.
  EXPECT_EQ(std::tuple(request.filename, request.content, request.base64),
            std::tuple("herd.csv", "a,b", false));
  EXPECT_TRUE(saveRequestFrom(JsonBridgeMessage(json{{"base64", true}})).base64);
}

}  // namespace
}  // namespace mlfk
