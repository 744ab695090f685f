#include "services/Dialogs.h"

#include <memory>

#include "base/Callbacks.h"

namespace mlfk {

bool confirmAnswer(int response) {
  return response == GTK_RESPONSE_OK;
}

std::optional<std::string> promptAnswer(int response, const std::string& fieldText) {
  if (response != GTK_RESPONSE_OK) return std::nullopt;
  return fieldText;
}

namespace {

GtkFileChooserNative* fileChooser(GtkWindow* parent, GtkFileChooserAction action,
                                  const char* accept) {
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(nullptr, parent, action, accept, "_Cancel");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
  return chooser;
}

std::vector<std::string> chosenPaths(GtkFileChooser* chooser) {
  std::vector<std::string> paths;
  GSList* files = gtk_file_chooser_get_filenames(chooser);
  for (GSList* f = files; f; f = f->next) paths.emplace_back(static_cast<char*>(f->data));
  g_slist_free_full(files, g_free);
  return paths;
}

GtkWidget* messageDialog(GtkWindow* parent, const std::string& heading) {
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), GTK_MESSAGE_OTHER,
      GTK_BUTTONS_NONE, "%s", heading.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kAppName);
  return dialog;
}

// GTK sends "response" for every way of closing a dialog: a button, Escape,
// the window manager. A dialog can still be destroyed without one (with its
// parent, when the program quits); `Ending::ResponseOrDestroy` answers that
// too, as GTK_RESPONSE_DELETE_EVENT. Calls `onResponse(object, response)`
// once, on the first of them, then `release(object)` after a response.
enum class Ending { Response, ResponseOrDestroy };

template <typename OnResponse>
void answerOnce(gpointer object, Ending ending, OnResponse onResponse, void (*release)(gpointer)) {
  struct Held {
    OnResponse done;
    void (*release)(gpointer);
    enum class Then { Release, Nothing };
    static void answer(gpointer source, int response, gpointer data, Then then) {
      // Disconnect first: releasing the dialog must not answer again.
      g_signal_handlers_disconnect_by_data(source, data);
      std::unique_ptr<Held> held(static_cast<Held*>(data));
      glib::guarded(held->done, source, response);
      if (then == Then::Release) held->release(source);
    }
  };
  auto* held = new Held{std::move(onResponse), release};
  g_signal_connect(object, "response",
                   G_CALLBACK(+[](gpointer source, int response, gpointer data) {
                     Held::answer(source, response, data, Held::Then::Release);
                   }),
                   held);
  if (ending == Ending::ResponseOrDestroy)
    g_signal_connect(object, "destroy", G_CALLBACK(+[](gpointer source, gpointer data) {
                       Held::answer(source, GTK_RESPONSE_DELETE_EVENT, data, Held::Then::Nothing);
                     }),
                     held);
}

template <typename OnResponse>
void runDialog(GtkWidget* dialog, OnResponse onResponse) {
  answerOnce(
      dialog, Ending::ResponseOrDestroy,
      [done = std::move(onResponse)](gpointer d, int response) { done(GTK_WIDGET(d), response); },
      [](gpointer d) { gtk_widget_destroy(GTK_WIDGET(d)); });
  gtk_widget_show_all(dialog);
  gtk_window_present(GTK_WINDOW(dialog));
}

template <typename OnResponse>
void runChooser(GtkFileChooserNative* chooser, OnResponse onResponse) {
  // Only our reference keeps the chooser, so it always ends with a response.
  answerOnce(
      chooser, Ending::Response,
      [done = std::move(onResponse)](gpointer c, int response) {
        done(GTK_FILE_CHOOSER(c), response);
      },
      g_object_unref);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace

void chooseSaveDestination(GtkWindow* parent, const std::string& proposedName,
                           std::function<void(std::optional<std::filesystem::path>)> done) {
  GtkFileChooserNative* chooser = fileChooser(parent, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save");
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), proposedName.c_str());
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
  runChooser(chooser, [done = std::move(done)](GtkFileChooser* c, int response) {
    std::optional<std::filesystem::path> chosen;
    if (response == GTK_RESPONSE_ACCEPT) {
      g_autofree char* file = gtk_file_chooser_get_filename(c);
      if (file) chosen = std::filesystem::path(file);
    }
    done(chosen);
  });
}

void chooseFilesToOpen(GtkWindow* parent, bool multiple,
                       std::function<void(std::optional<std::vector<std::string>>)> done) {
  GtkFileChooserNative* chooser = fileChooser(parent, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open");
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), multiple);
  runChooser(chooser, [done = std::move(done)](GtkFileChooser* c, int response) {
    done(acceptedOrNothing(response, chosenPaths(c)));
  });
}

void showAlert(GtkWindow* parent, const std::string& message, std::function<void()> done) {
  GtkWidget* dialog = messageDialog(parent, kAppName);
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
  gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  runDialog(dialog, [done = std::move(done)](GtkWidget*, int) { done(); });
}

void askToConfirm(GtkWindow* parent, const std::string& message, std::function<void(bool)> done) {
  GtkWidget* dialog = messageDialog(parent, kAppName);
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
  gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "Cancel", GTK_RESPONSE_CANCEL);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  runDialog(dialog,
            [done = std::move(done)](GtkWidget*, int response) { done(confirmAnswer(response)); });
}

void askForText(GtkWindow* parent, const std::string& prompt, const std::string& defaultText,
                std::function<void(std::optional<std::string>)> done) {
  GtkWidget* dialog = messageDialog(parent, prompt);
  GtkWidget* field = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(field), defaultText.c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(field), TRUE);
  gtk_widget_set_size_request(field, 300, 24);
  gtk_box_pack_end(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), field, FALSE, FALSE,
                   0);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "Cancel", GTK_RESPONSE_CANCEL);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  runDialog(dialog, [done = std::move(done), field](GtkWidget*, int response) {
    done(promptAnswer(response, gtk_entry_get_text(GTK_ENTRY(field))));
  });
  gtk_widget_grab_focus(field);
}

}  // namespace mlfk
