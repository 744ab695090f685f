#include "base/GObjectPtr.h"
#include "services/Dialogs.h"
#include "services/FileSaver.h"
#include "services/PrintFileName.h"
#include "services/PrintTriggers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/FakeTimers.h"
#include "support/TempDir.h"

namespace mlfk {
namespace {

using nlohmann::json;
using test::readFile;

// Text, Base64 over a file and a cancelled dialog are saved end to end
// (test_dialogs); here what the dialogs cannot easily reach.
TEST(FileSaver, EmptyTextDamagedBase64AndFailedWrites) {
  test::TempDir temp;
  EXPECT_EQ(completeSave(SaveRequest{}, temp / "empty.csv")["ok"], true);
  EXPECT_EQ(std::filesystem::file_size(temp / "empty.csv"), 0u);

  test::writeFile(temp / "kept.bin", "kept");
  SaveRequest request{.content = std::string(76, 'A') + "\nAAAA", .base64 = true};  // wrapped
  EXPECT_EQ(completeSave(request, temp / "kept.bin"),
            (json{{"ok", false}, {"error", "The file data was damaged."}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");

  request = {.content = "tag\n"};
  EXPECT_EQ(completeSave(request, temp / "kept.bin" / "inside.csv"),  // a file as a folder
            (json{{"ok", false}, {"error", "Not a directory"}}));
  EXPECT_EQ(readFile(temp / "kept.bin"), "kept");
}

TEST(FileSaver, NameThatIsNotUtf8IsWrittenAndReportedInItsDisplayForm) {
  test::TempDir temp;
  const auto reply = completeSave({.content = "tag\n"}, temp /
                                                            "r\xE9"
                                                            "colte.csv");  // Latin-1
  EXPECT_EQ(readFile(temp / "r\xE9"
                            "colte.csv"),
            "tag\n");
  EXPECT_EQ(reply["path"], (temp / "r\uFFFDcolte.csv").string());
}

TEST(PrintFileName, TitleBecomesANameEveryFolderTakes) {
  EXPECT_EQ(printFileName("Medicine book 2026"), "Medicine book 2026");
  EXPECT_EQ(printFileName("Movements 01/03/2026\u20132026/06"),
            "Movements 01-03-2026\u20132026-06");
  EXPECT_EQ(printFileName("..hidden\tname "), "hidden-name");
  EXPECT_EQ(printFileName(" / "), "-");
  EXPECT_EQ(printFileName(""), "Field Keeper");
  EXPECT_EQ(printFileName("caf\xE9"), "caf_");  // not UTF-8
  const std::string longTitle(300, 'r');
  EXPECT_EQ(printFileName(longTitle).size(), 200u);
  EXPECT_EQ(printFileName(std::string(190, 'r') + std::string(80, '/')).size(), 200u);
  // A character is never cut in two at the limit.
  EXPECT_EQ(printFileName(std::string(199, 'r') + "\u00e9"), std::string(199, 'r'));
}

TEST(PrintFileName, TheNextPrintIsOfferedTheFolderNotTheNamePagesOrCopies) {
  g_autoptr(GtkPrintSettings) settings = gtk_print_settings_new();
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_PAGE_RANGES, "2-3");
  gtk_print_settings_set_n_copies(settings, 4);
  gtk_print_settings_set_print_pages(settings, GTK_PRINT_PAGES_RANGES);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI,
                         "file:///home/ann/Prints/Herd%20register.pdf");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME, "Herd register");
  keepForNextPrint(settings);
  // GTK's file printer takes the folder as a path, not an address.
  EXPECT_STREQ(gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_DIR), "/home/ann/Prints");
  EXPECT_EQ(gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI), nullptr);
  EXPECT_EQ(gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME), nullptr);
  EXPECT_EQ(std::tuple(gtk_print_settings_get_print_pages(settings),
                       gtk_print_settings_get_n_copies(settings)),
            std::tuple(GTK_PRINT_PAGES_ALL, 1));
}

struct Job {
  test::FakeTimers timers;
  int prints = 0;
  double printedAt = -1;
  std::unique_ptr<PrintTriggers> triggers = std::make_unique<PrintTriggers>(timers, [this] {
    ++prints;
    printedAt = timers.now();
  });
  Job() { triggers->started(); }
};

TEST(PrintTriggers, OncePerJobAfterTheFontsAFailedLoadOrFiveSeconds) {
  Job fonts;  // a quarter second after the fonts, and only once
  fonts.timers.advance(1.0);
  fonts.triggers->fontsReady();
  fonts.timers.advance(0.2);
  EXPECT_EQ(fonts.prints, 0);
  fonts.timers.advance(10);
  fonts.triggers->loadFailed();
  EXPECT_EQ(fonts.prints, 1);
  EXPECT_NEAR(fonts.printedAt, 1.25, 1e-9);

  Job failed;  // at once, with no fallback after it
  failed.timers.advance(0.5);
  failed.triggers->loadFailed();
  EXPECT_EQ(failed.prints, 1);
  failed.timers.advance(10);
  EXPECT_EQ(failed.prints, 1);

  Job silent;
  silent.timers.advance(4.99);
  EXPECT_EQ(silent.prints, 0);
  silent.timers.advance(0.02);
  EXPECT_EQ(silent.prints, 1);

  Job gone;  // late triggers find no job
  auto later = gone.triggers->fontsReadyLater();
  gone.triggers.reset();
  later();
  gone.timers.advance(10);
  EXPECT_EQ(gone.prints, 0);
}

TEST(FileSaver, BackgroundWritesRunInTurnOffTheMainThreadAndAnswerOnIt) {
  const auto main = std::this_thread::get_id();
  std::mutex guard;
  std::vector<std::string> steps;
  auto note = [&](std::string step) {
    std::lock_guard lock(guard);
    steps.push_back(std::move(step));
  };
  for (std::string name : {"first", "second"}) {
    writeInBackground(
        [=] { note(name + (std::this_thread::get_id() == main ? " here" : " off")); },
        [=] { note(name + (std::this_thread::get_id() == main ? " answered" : " stray")); });
  }
  auto seen = [&] {
    std::lock_guard lock(guard);
    return steps;
  };
  while (seen().size() < 4) g_main_context_iteration(nullptr, TRUE);
  // The second write may run while the first is answered.
  const auto order = seen();
  const auto at = [&](const char* step) { return std::ranges::find(order, step) - order.begin(); };
  EXPECT_LT(at("first off"), at("second off"));
  EXPECT_LT(at("first off"), at("first answered"));
  EXPECT_LT(at("second off"), at("second answered"));
  EXPECT_LT(at("first answered"), at("second answered"));
  EXPECT_LT(at("second answered"), 4);
}

// A holder that goes before its object must not be written to when the object goes.
TEST(GWeakPtr, ReadsNullOnceItsObjectIsGoneAndLetsGoWhenItGoesFirst) {
  GObject* object = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
  alignas(GWeakPtr<GObject>) std::array<unsigned char, sizeof(GWeakPtr<GObject>)> freed;
  auto* early = new (freed.data()) GWeakPtr<GObject>();
  early->reset(object);
  early->~GWeakPtr();
  freed.fill(0x5a);
  GWeakPtr<GObject> late;
  late.reset(object);
  EXPECT_EQ(late.get(), object);
  g_object_unref(object);
  EXPECT_EQ(late.get(), nullptr);
  EXPECT_TRUE(std::ranges::all_of(freed, [](unsigned char b) { return b == 0x5a; }));
}

// A dialog still open when its window goes (the program quitting) answers
// then, once; a dialog that answered is not answered again as it closes.
TEST(Dialogs, AnsweredOnceByAButtonOrWhenTheirWindowIsDestroyed) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "needs a display";
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  std::vector<std::string> answers;
  askToConfirm(GTK_WINDOW(window), "Remove the record?",
               [&](bool ok) { answers.push_back(ok ? "confirmed" : "refused"); });
  askForText(GTK_WINDOW(window), "Name of the field?", "Top meadow",
             [&](std::optional<std::string> text) { answers.push_back(text.value_or("no text")); });
  askForText(GTK_WINDOW(window), "Batch?", "B12",
             [&](std::optional<std::string> text) { answers.push_back(text.value_or("no text")); });

  GList* toplevels = gtk_window_list_toplevels();
  for (GList* t = toplevels; t; t = t->next) {
    if (!GTK_IS_MESSAGE_DIALOG(t->data)) continue;
    g_autofree char* heading = nullptr;
    g_object_get(t->data, "text", &heading, nullptr);
    if (g_strcmp0(heading, "Name of the field?") == 0)
      gtk_dialog_response(GTK_DIALOG(t->data), GTK_RESPONSE_OK);
  }
  g_list_free(toplevels);
  EXPECT_EQ(answers, std::vector<std::string>{"Top meadow"});

  gtk_widget_destroy(window);
  std::sort(answers.begin(), answers.end());
  EXPECT_EQ(answers, (std::vector<std::string>{"Top meadow", "no text", "refused"}));
}

}  // namespace
}  // namespace mlfk
