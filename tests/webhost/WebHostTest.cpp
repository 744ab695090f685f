#include "services/Base64.h"
#include "webhost/Bootstrap.h"
#include "webhost/Bridge.h"
#include "webhost/BundleSchemeHandler.h"
#include "webhost/Flush.h"
#include "webhost/JscBridgeMessage.h"
#include "webhost/NavigationPolicy.h"

#include <gtest/gtest.h>

#include "support/FakeTimers.h"
#include "support/TempDir.h"

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

  std::optional<std::string> savedDatabase() override { return std::nullopt; }
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

// A text cut inside a surrogate pair ended there, and only its start was written.
TEST(JscBridgeMessage, TextsArriveWholeWithALoneSurrogateReplacedAndNulsKept) {
  // Kept for the whole run: tearing down JavaScriptCore's VM trips the
  // sanitizers' type checks inside the library, which is not built with them.
  static JSCContext* const context = jsc_context_new();
  g_autoptr(JSCValue) body = jsc_context_evaluate(
      context, "({content: 'calf \\uD83D born\\u0000!', base64: true, filename: 7})", -1);
  JscBridgeMessage message(body);
  const auto content = message.text("content");
  ASSERT_TRUE(content);
  EXPECT_EQ(content->view, std::string_view("calf \xEF\xBF\xBD born\0!", 15));
  EXPECT_EQ(std::pair(message.boolean("base64"), message.text("filename").has_value()),
            std::pair(std::optional(true), false));
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

TEST(Bootstrap, MarkerAloneWithoutADatabaseAndTheDatabaseInBase64) {
  test::TempDir temp;
  test::writeFile(temp / "empty.json", "");
  for (auto missing : {temp / "missing.json", temp / "empty.json", temp.path()})  // and a folder
    EXPECT_EQ(bootstrapScriptForFile(missing), "window.__ML_SHELL = 'mac-native';") << missing;
  test::writeFile(temp / "db.json", "abc");
  EXPECT_EQ(bootstrapScriptForFile(temp / "db.json"),
            "window.__ML_SHELL = 'mac-native'; window.__ML_DB_B64 = 'YWJj';");

  std::string binary;
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
  for (size_t cut : {size_t{1}, size_t{2}, size_t{254}, size_t{256}}) {
    const std::string script = bootstrapScript(binary.substr(0, cut));
    ASSERT_TRUE(script.starts_with(kDatabaseScriptOpening) && script.ends_with("';"));
    const size_t from = kDatabaseScriptOpening.size();
    EXPECT_EQ(base64DecodeStrict(script.substr(from, script.size() - from - 2)),
              binary.substr(0, cut));
  }
}

TEST(Base64, KnownVectorsAndStrictDecoding) {
  for (auto [plain, encoded] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="}}) {
    EXPECT_EQ(base64Encode(plain), encoded);
    EXPECT_EQ(base64DecodeStrict(encoded), plain);
  }
  for (auto bad : {"Zg", "Zg=", "Zm9v\nYmFy", "Zm9v YmFy", "Zm-_",
                   "Z===", "====", "Zg==Zg==", "Zm=v", "Zm9vYmFy\n"}) {
    EXPECT_EQ(base64DecodeStrict(bad), std::nullopt) << bad;
  }
}

using test::writeFile;

class SchemeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp / "web" / "js" / "sub");
    writeFile(temp / "web" / "index.html", "<!doctype html>start");
    writeFile(temp / "web" / "js" / "app.mjs", "export {}");
    writeFile(temp / "web" / "my file.css", "body{}");
    writeFile(temp / "web" / "caf\u00e9.json", "{}");
    writeFile(temp / "web" / "empty.txt", "");
    writeFile(temp / "secret.txt", "outside");
    writeFile(temp / "web-other.txt", "sibling");
  }
  std::string bodyOf(std::string_view url) { return handler().respond(url).body; }
  int statusOf(std::string_view url) { return handler().respond(url).status; }
  BundleSchemeHandler handler() { return BundleSchemeHandler(temp / "web"); }

  test::TempDir temp;
};

TEST_F(SchemeTest, RootSpellingsQueryAndFragmentServeTheStartPage) {
  for (auto url : {"meadowline-farm://app/index.html", "meadowline-farm://app/",
                   "meadowline-farm://app", "meadowline-farm://other/", "meadowline-farm:",
                   "meadowline-farm://app/index.html?x=1#top", "meadowline-farm://app/?q#f"}) {
    EXPECT_EQ(bodyOf(url), "<!doctype html>start") << url;
  }
}

TEST_F(SchemeTest, FilesFoundByDecodedNames) {
  EXPECT_EQ(bodyOf("meadowline-farm://app/js/app.mjs"), "export {}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/my%20file.css"), "body{}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/my%2520file.css"), "body{}");  // encoded twice
  EXPECT_EQ(bodyOf("meadowline-farm://app/caf%C3%A9.json"), "{}");
  EXPECT_EQ(bodyOf("meadowline-farm://app/caf%c3%a9.json"), "{}");  // hex in either case
  EXPECT_EQ(bodyOf("meadowline-farm://app/js/./sub/../app.mjs"), "export {}");
}

TEST_F(SchemeTest, FoldersEscapesAndMissingFilesAreNotFound) {
  for (auto url :
       {"meadowline-farm://app/js", "meadowline-farm://app/js/", "meadowline-farm://app/missing.js",
        "meadowline-farm://app/../secret.txt", "meadowline-farm://app/js/../../secret.txt",
        "meadowline-farm://app/%2e%2e/secret.txt", "meadowline-farm://app/%252e%252e/secret.txt",
        "meadowline-farm://app/..%2fsecret.txt", "meadowline-farm://app/../web-other.txt",
        "meadowline-farm://app/index.html%00.png", "meadowline-farm://app/%zz",
        "meadowline-farm://app/%C3"}) {
    EXPECT_EQ(statusOf(url), 404) << url;
  }
}

TEST_F(SchemeTest, ResponseHeadersFoundEmptyAndMissing) {
  const auto found = handler().respond("meadowline-farm://app/index.html");
  EXPECT_EQ(found.status, 200);
  ASSERT_EQ(found.headers.size(), 3u);
  EXPECT_EQ(found.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(found.header("Content-Length"), "20");
  EXPECT_EQ(found.header("Cache-Control"), "no-cache");

  const auto empty = handler().respond("meadowline-farm://app/empty.txt");
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.header("Content-Length"), "0");
  EXPECT_EQ(empty.body, "");

  const auto missing = handler().respond("meadowline-farm://app/nothing");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.headers, (decltype(missing.headers){{"Content-Type", "text/plain"}}));
  EXPECT_EQ(missing.body, "Not found");
}

// The web types WebKit is strict about (module scripts, WebAssembly) are
// checked by the end-to-end page; here the fallbacks and the charset.
TEST(ContentType, CaseCharsetSystemTypesAndFallback) {
  EXPECT_EQ(contentTypeFor("a/APP.MJS"), "text/javascript; charset=utf-8");
  EXPECT_EQ(contentTypeFor("a/style.css"), "text/css; charset=utf-8");
  for (auto unknown : {"a/LICENSE", "a/data.qqzz", "a/trailing."})
    EXPECT_EQ(contentTypeFor(unknown), "application/octet-stream") << unknown;
  // Not in the web table: shared-mime-info by name, without a charset.
  EXPECT_EQ(contentTypeFor("a/archive.zip"), "application/zip");
  EXPECT_EQ(contentTypeFor("a/notes.rtf").find("; charset=utf-8"), std::string::npos);
}

struct FlushRun {
  test::FakeTimers timers;
  std::function<void()> answer;
  int completions = 0;
  double completedAt = -1;
  FlushRun() {
    FlushTiming::start(
        timers, [this](std::function<void()> done) { answer = std::move(done); },
        [this] {
          ++completions;
          completedAt = timers.now();
        });
  }
};

TEST(Flush, FinishesAGraceAfterThePageAnswersAndAtOneSecondAtMost) {
  FlushRun prompt;
  prompt.timers.advance(0.05);
  prompt.answer();
  prompt.timers.advance(0.149);
  EXPECT_EQ(prompt.completions, 0);
  prompt.timers.advance(2.0);
  EXPECT_EQ(prompt.completions, 1);
  EXPECT_NEAR(prompt.completedAt, 0.2, 1e-9);

  FlushRun silent;
  silent.timers.advance(5.0);
  EXPECT_EQ(silent.completions, 1);
  EXPECT_NEAR(silent.completedAt, 1.0, 1e-9);

  FlushRun late;
  late.timers.advance(0.9);
  late.answer();  // its grace would end at 1.05
  late.timers.advance(5.0);
  EXPECT_EQ(late.completions, 1);
  EXPECT_NEAR(late.completedAt, 1.0, 1e-9);
}

using D = NavigationDecision;

// Web, mail, phone, ftp and file links and new windows of each kind are
// followed end to end (test_shell, test_dialogs); here the cases they do not
// reach.
TEST(NavigationPolicy, OnlyLoadsAndReloadsStartANewDocument) {
  const std::string page = "meadowline-farm://app/index.html";
  EXPECT_TRUE(startsNewDocument("", page, LoadKind::Navigation));  // the first load
  EXPECT_FALSE(startsNewDocument(page + "#/overview", page + "#/animals", LoadKind::Navigation));
  EXPECT_FALSE(startsNewDocument(page, page + "#/animals", LoadKind::Navigation));
  EXPECT_TRUE(startsNewDocument(page + "#/animals", page + "#/animals", LoadKind::Reload));
  EXPECT_TRUE(startsNewDocument(page + "#/animals", page, LoadKind::Navigation));
  EXPECT_TRUE(startsNewDocument(page, "meadowline-farm://app/print.html#x", LoadKind::Navigation));
}

TEST(NavigationPolicy, SchemesInAnyCaseAndWhatStaysInTheView) {
  for (auto url : {"MEADOWLINE-FARM://app/", "about:blank", "blob:meadowline-farm://app/1234",
                   "data:text/plain,hi"})
    EXPECT_EQ(decideNavigation(url, LinkTarget::Show), D::Allow) << url;
  for (auto url : {"HTTP://example.org/", "Tel:+441234"})
    EXPECT_EQ(decideNavigation(url, LinkTarget::Show), D::OpenExternally) << url;
  for (auto url : {"javascript:alert(1)", "no scheme here", "1http://x", ""})
    EXPECT_EQ(decideNavigation(url, LinkTarget::Show), D::Drop) << url;
  EXPECT_EQ(decideNavigation(std::nullopt, LinkTarget::Show), D::Drop);
  for (auto url : {"meadowline-farm://app/", "about:blank"})
    EXPECT_EQ(decideNewWindow(url), D::Drop);
  EXPECT_EQ(decideNewWindow(std::nullopt), D::Drop);
}

}  // namespace
}  // namespace mlfk
