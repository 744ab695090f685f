#include "webhost/Bridge.h"

#include <gtest/gtest.h>

namespace mlfk {
namespace {

using nlohmann::json;

// Records every answer; the dispatcher must give exactly one.
struct RecordedReply {
  int answers = 0;
  std::optional<json> value;
  std::optional<std::string> error;
};

class RecordingReply final : public BridgeReply {
 public:
  explicit RecordingReply(RecordedReply& record) : record_(record) {}
  void value(const json& result) override {
    ++record_.answers;
    record_.value = result;
  }
  void error(std::string_view text) override {
    ++record_.answers;
    record_.error = std::string(text);
  }

 private:
  RecordedReply& record_;
};

struct FakeServices final : BridgeServices {
  std::vector<std::string> calls;
  std::optional<std::string> persistFailure;
  std::unique_ptr<BridgeReply> heldSaveReply;
  std::optional<std::string> printedHtml;
  std::string printedTitle;
  int answersWhenPrintScheduled = -1;
  RecordedReply* current = nullptr;

  std::optional<std::string> savedDatabase() override { return std::nullopt; }
  std::string databasePath() override { return "/data/farm-data.json"; }
  std::optional<std::string> persist(std::string_view text) override {
    calls.push_back("persist:" + std::string(text));
    return persistFailure;
  }
  std::optional<std::string> snapshotFailure;
  std::optional<std::string> snapshot(std::string_view reason) override {
    calls.push_back("snapshot:" + std::string(reason));
    return snapshotFailure;
  }
  void reveal() override { calls.push_back("reveal"); }
  void save(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply) override {
    const auto request = saveRequestFrom(message);
    calls.push_back("save:" + request.filename);
    heldSaveReply = std::move(reply);
  }
  void schedulePrint(std::optional<std::string> html, std::string title) override {
    calls.push_back("print");
    printedHtml = std::move(html);
    printedTitle = std::move(title);
    answersWhenPrintScheduled = current ? current->answers : -1;
  }
};

class BridgeTest : public ::testing::Test {
 protected:
  RecordedReply send(json body) {
    RecordedReply record;
    services.current = &record;
    dispatchBridgeMessage(JsonBridgeMessage(std::move(body)),
                          std::make_unique<RecordingReply>(record), services);
    return record;
  }
  FakeServices services;
};

TEST_F(BridgeTest, MalformedBodiesAreRejected) {
  for (json body : {json("ping"), json(5), json::array({"ping"}), json(nullptr), json::object(),
                    json{{"action", 5}}, json{{"action", nullptr}}, json{{"Action", "ping"}},
                    json{{"action", json::array({"ping"})}}}) {
    auto reply = send(body);
    EXPECT_EQ(reply.answers, 1) << body;
    EXPECT_EQ(reply.error, "Bad message") << body;
  }
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(BridgeTest, UnknownActionsAreCaseSensitive) {
  EXPECT_EQ(send({{"action", "Ping"}}).error, "Unknown action: Ping");
  EXPECT_EQ(send({{"action", ""}}).error, "Unknown action: ");
  EXPECT_EQ(send({{"action", "persist "}}).error, "Unknown action: persist ");
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(BridgeTest, PingAnswersTheShellsFacts) {
  auto reply = send({{"action", "ping"}, {"extra", true}});
  EXPECT_EQ(reply.answers, 1);
  EXPECT_EQ(reply.value,
            (json{{"version", 2}, {"dataPath", "/data/farm-data.json"}, {"shell", "mac-native"}}));
}

TEST_F(BridgeTest, PersistReportsFailuresAsValues) {
  EXPECT_EQ(send({{"action", "persist"}, {"content", "{\"a\":1}"}}).value, (json{{"ok", true}}));
  services.persistFailure = "No space left on device";
  auto failed = send({{"action", "persist"}, {"content", ""}});
  EXPECT_EQ(failed.answers, 1);
  EXPECT_FALSE(failed.error);
  EXPECT_EQ(failed.value, (json{{"ok", false}, {"error", "No space left on device"}}));
  EXPECT_EQ(services.calls, (std::vector<std::string>{"persist:{\"a\":1}", "persist:"}));
}

TEST_F(BridgeTest, PersistWithoutTextWritesNothing) {
  for (json content : {json(nullptr), json(42), json::object()}) {
    auto reply = send({{"action", "persist"}, {"content", content}});
    ASSERT_TRUE(reply.value);
    EXPECT_EQ((*reply.value)["ok"], false);
    EXPECT_TRUE((*reply.value)["error"].is_string());
  }
  auto missing = send({{"action", "persist"}});
  EXPECT_EQ((*missing.value)["ok"], false);
  EXPECT_TRUE(services.calls.empty());
}

TEST_F(BridgeTest, SnapshotAndRevealDefaults) {
  EXPECT_EQ(send({{"action", "snapshot"}}).value, (json{{"ok", true}}));
  send({{"action", "snapshot"}, {"reason", 7}});
  send({{"action", "snapshot"}, {"reason", "before import"}});
  EXPECT_EQ(send({{"action", "reveal"}}).value, (json{{"ok", true}}));
  EXPECT_EQ(services.calls, (std::vector<std::string>{"snapshot:snapshot", "snapshot:snapshot",
                                                      "snapshot:before import", "reveal"}));
  // The page goes on to import only after a snapshot that was made.
  services.snapshotFailure = "Operation not permitted";
  EXPECT_EQ(send({{"action", "snapshot"}}).value,
            (json{{"ok", false}, {"error", "Operation not permitted"}}));
}

TEST_F(BridgeTest, PrintRepliesBeforeItIsScheduled) {
  auto reply = send({{"action", "print"}, {"html", "<p>x</p>"}});
  EXPECT_EQ(reply.value, (json{{"ok", true}}));
  EXPECT_EQ(services.answersWhenPrintScheduled, 1);
  EXPECT_EQ(services.printedHtml, "<p>x</p>");
  EXPECT_EQ(services.printedTitle, "Field Keeper");

  send({{"action", "print"}, {"html", 3}, {"title", "Herd"}});
  EXPECT_EQ(services.printedHtml, std::nullopt);
  EXPECT_EQ(services.printedTitle, "Herd");
}

TEST_F(BridgeTest, SaveIsAnsweredByTheSaveServiceLater) {
  auto reply = send({{"action", "save"}, {"filename", 12}});
  EXPECT_EQ(reply.answers, 0);
  EXPECT_EQ(services.calls, (std::vector<std::string>{"save:Field Keeper export.csv"}));
  ASSERT_TRUE(services.heldSaveReply);
}

TEST(SaveRequest, DefaultsForMissingAndMistypedKeys) {
  auto request = saveRequestFrom(JsonBridgeMessage(json{{"action", "save"}}));
  EXPECT_EQ(request.filename, "Field Keeper export.csv");
  EXPECT_EQ(request.content, "");
  EXPECT_FALSE(request.base64);
  request = saveRequestFrom(
      JsonBridgeMessage(json{{"filename", "herd.csv"}, {"content", "a,b"}, {"base64", "true"}}));
  EXPECT_EQ(request.filename, "herd.csv");
  EXPECT_EQ(request.content, "a,b");
  EXPECT_FALSE(request.base64);  // the text "true" is not a Boolean
  EXPECT_TRUE(saveRequestFrom(JsonBridgeMessage(json{{"base64", true}})).base64);
}

}  // namespace
}  // namespace mlfk
