#include "services/PrintJob.h"

#include <gtk/gtkunixprint.h>

#include <filesystem>

#include "PrintFileName.h"
#include "base/Callbacks.h"
#include "base/Log.h"

namespace mlfk {
namespace {

constexpr const char* kFontsReadyScript =
    "document.fonts ? document.fonts.ready.then(() => true) : true";
constexpr const char* kPrintBaseUrl = "meadowline-farm://app/";
// Paper is white whatever the desktop's style.
constexpr const char* kLightStyle = ":root { color-scheme: only light !important; }";

std::string settingsFile() {
  return (std::filesystem::path(g_get_user_state_dir()) / "meadowline-field-keeper" /
          "print-settings.ini")
      .string();
}

// What the user picked in a print dialog (printer, paper, output folder) is
// offered again by the next print, in this run and the next.
GObjectPtr<GtkPrintSettings>& sharedSettings() {
  static GObjectPtr<GtkPrintSettings> settings = [] {
    g_autoptr(GError) error = nullptr;
    GtkPrintSettings* saved = gtk_print_settings_new_from_file(settingsFile().c_str(), &error);
    // None kept yet is the usual first print.
    if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT))
      glib::logError(error, "earlier print settings not read");
    return GObjectPtr<GtkPrintSettings>::adopt(saved ? saved : gtk_print_settings_new());
  }();
  return settings;
}

void remember(GtkPrintSettings* chosen) {
  sharedSettings() = GObjectPtr<GtkPrintSettings>::adopt(gtk_print_settings_copy(chosen));
  keepForNextPrint(sharedSettings().get());
  const std::string file = settingsFile();
  glib::logErrno(g_mkdir_with_parents(std::filesystem::path(file).parent_path().c_str(), 0700),
                 "no folder for the print settings");
  g_autoptr(GError) error = nullptr;
  if (!gtk_print_settings_to_file(sharedSettings().get(), file.c_str(), &error))
    glib::logError(error, "print settings not kept");
}

void setFarmMargins(GtkPageSetup* page) {
  for (auto set : {gtk_page_setup_set_top_margin, gtk_page_setup_set_bottom_margin,
                   gtk_page_setup_set_left_margin, gtk_page_setup_set_right_margin})
    set(page, 36, GTK_UNIT_POINTS);
}

// One print through the dialog; `done` runs when this goes, if not before.
struct DialogPrint {
  GObjectPtr<WebKitPrintOperation> operation;
  std::function<void()> done;
  void finish() {
    if (auto callback = std::exchange(done, nullptr)) callback();
  }
  ~DialogPrint() { finish(); }
};

void startPrinting(const std::shared_ptr<DialogPrint>& print, GtkPrintUnixDialog* dialog) {
  g_autoptr(GtkPrintSettings) settings = gtk_print_unix_dialog_get_settings(dialog);
  if (GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog))
    gtk_print_settings_set_printer(settings, gtk_printer_get_name(printer));
  // Another paper chosen in the dialog comes with the printer's own margins,
  // and the settings do not carry it: both are put right here.
  g_autoptr(GtkPageSetup) page = gtk_page_setup_copy(gtk_print_unix_dialog_get_page_setup(dialog));
  setFarmMargins(page);
  gtk_print_settings_set_paper_size(settings, gtk_page_setup_get_paper_size(page));
  WebKitPrintOperation* operation = print->operation.get();
  webkit_print_operation_set_print_settings(operation, settings);
  webkit_print_operation_set_page_setup(operation, page);
  glib::connect<void(WebKitPrintOperation*)>(
      operation, "finished", [print](WebKitPrintOperation* op) {
        remember(webkit_print_operation_get_print_settings(op));
        // The operation is still emitting: let go of it later. Its handlers
        // hold `print`, which holds it: dropping it breaks the cycle.
        glib::idleOnce([print] {
          print->finish();
          print->operation.reset();
        });
      });
  glib::connect<void(WebKitPrintOperation*, GError*)>(
      operation, "failed", [](WebKitPrintOperation*, GError* error) {
        g_warning("printing failed: %s", error ? error->message : "no reason given");
      });
  webkit_print_operation_print(operation);
}

}  // namespace

PrintInfo printInfo() {
  GtkPrintSettings* settings = gtk_print_settings_copy(sharedSettings().get());
  gtk_print_settings_set_orientation(settings, GTK_PAGE_ORIENTATION_PORTRAIT);
  GtkPageSetup* page = gtk_page_setup_new();
  if (GtkPaperSize* paper = gtk_print_settings_get_paper_size(settings)) {
    gtk_page_setup_set_paper_size(page, paper);
    gtk_paper_size_free(paper);
  }
  gtk_page_setup_set_orientation(page, GTK_PAGE_ORIENTATION_PORTRAIT);
  setFarmMargins(page);
  return {GObjectPtr<GtkPrintSettings>::adopt(settings), GObjectPtr<GtkPageSetup>::adopt(page)};
}

void printWithDialog(WebKitWebView* view, GtkWindow* parent, const std::string& title,
                     std::function<void()> done) {
  auto print = std::make_shared<DialogPrint>();
  print->operation = GObjectPtr<WebKitPrintOperation>::adopt(webkit_print_operation_new(view));
  print->done = std::move(done);

  PrintInfo info = printInfo();
  const std::string fileName = printFileName(title);
  gtk_print_settings_set(info.settings.get(), GTK_PRINT_SETTINGS_OUTPUT_BASENAME, fileName.c_str());
  GtkWidget* dialog = gtk_print_unix_dialog_new(nullptr, parent);
  auto* unix = GTK_PRINT_UNIX_DIALOG(dialog);
  gtk_print_unix_dialog_set_settings(unix, info.settings.get());
  gtk_print_unix_dialog_set_page_setup(unix, info.pageSetup.get());
  gtk_print_unix_dialog_set_embed_page_setup(unix, TRUE);
  gtk_print_unix_dialog_set_manual_capabilities(
      unix,
      GtkPrintCapabilities(GTK_PRINT_CAPABILITY_GENERATE_PDF | GTK_PRINT_CAPABILITY_GENERATE_PS |
                           GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE |
                           GTK_PRINT_CAPABILITY_REVERSE | GTK_PRINT_CAPABILITY_SCALE |
                           GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_NUMBER_UP |
                           GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);

  // The handler, and with it `print`, goes with the dialog: closed without an
  // answer, `done` still runs.
  glib::connect<void(GtkDialog*, int)>(dialog, "response", [print](GtkDialog* d, int response) {
    if (response == GTK_RESPONSE_OK) startPrinting(print, GTK_PRINT_UNIX_DIALOG(d));
    gtk_widget_destroy(GTK_WIDGET(d));
  });
  gtk_window_present(GTK_WINDOW(dialog));
}

PrintJob::PrintJob(std::string html, std::string title, WebKitWebContext* context,
                   GtkWindow* window, TimerSource& timers)
    : html_(std::move(html)),
      title_(std::move(title)),
      window_(GObjectPtr<GtkWindow>::retain(window)),
      offscreen_(gtk_offscreen_window_new()),
      triggers_(timers, [this] { showDialog(); }) {
  g_autoptr(WebKitUserContentManager) content = webkit_user_content_manager_new();
  g_autoptr(WebKitUserStyleSheet) light =
      webkit_user_style_sheet_new(kLightStyle, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                  WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(content, light);
  printView_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                            "user-content-manager", content, nullptr));
  // A fixed US Letter text area inside the margins, away from the screen.
  gtk_widget_set_size_request(GTK_WIDGET(printView_), 540, 720);
  gtk_container_add(GTK_CONTAINER(offscreen_), GTK_WIDGET(printView_));

  auto connect = [this](gulong id) { handlers_.push_back(id); };
  connect(glib::connect<void(WebKitWebView*, WebKitLoadEvent)>(
      printView_, "load-changed", [this](WebKitWebView* view, WebKitLoadEvent event) {
        if (event != WEBKIT_LOAD_FINISHED) return;
        auto ready = triggers_.fontsReadyLater();
        webkit_web_view_evaluate_javascript(
            view, kFontsReadyScript, -1, nullptr, nullptr, nullptr, glib::asyncReady,
            glib::asyncData([ready](GObject* source, GAsyncResult* result) {
              g_autoptr(GError) error = nullptr;
              g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                  WEBKIT_WEB_VIEW(source), result, &error);
              glib::logError(error, "the print's fonts were not awaited", glib::Severity::Notice);
              ready();
            }));
      }));
  connect(glib::connect<gboolean(WebKitWebView*, WebKitLoadEvent, char*, GError*)>(
      printView_, "load-failed",
      [this, alive = std::weak_ptr<bool>(alive_)](WebKitWebView*, WebKitLoadEvent, char*,
                                                  GError* error) {
        glib::logError(error, "the document to print did not load");
        // Never inside WebKit's signal, and without its error page.
        glib::idleOnce([this, alive] {
          if (!alive.expired()) triggers_.loadFailed();
        });
        return TRUE;
      }));
  // The printed document stays what the page composed: it opens nothing
  // and goes nowhere.
  connect(glib::connect<gboolean(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType)>(
      printView_, "decide-policy",
      [this](WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
        const bool first = type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !loaded_;
        loaded_ = true;
        if (first || type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
          webkit_policy_decision_use(decision);
        else
          webkit_policy_decision_ignore(decision);
        return TRUE;
      }));
  connect(glib::connect<gboolean(WebKitWebView*, WebKitScriptDialog*)>(
      printView_, "script-dialog", [](WebKitWebView*, WebKitScriptDialog*) { return TRUE; }));
  connect(glib::connect<gboolean(WebKitWebView*, WebKitFileChooserRequest*)>(
      printView_, "run-file-chooser", [](WebKitWebView*, WebKitFileChooserRequest* request) {
        webkit_file_chooser_request_cancel(request);
        return TRUE;
      }));
}

PrintJob::~PrintJob() {
  triggers_.cancel();
  for (gulong id : handlers_) g_signal_handler_disconnect(printView_, id);
  gtk_widget_destroy(offscreen_);
}

void PrintJob::start() {
  gtk_widget_show_all(offscreen_);
  webkit_web_view_load_html(printView_, html_.c_str(), kPrintBaseUrl);
  triggers_.started();
}

void PrintJob::showDialog() {
  printWithDialog(printView_, window_.get(), title_, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) finished();
  });
}

void PrintJob::finished() {
  if (finished_) return;
  finished_ = true;
  gtk_widget_hide(offscreen_);
  // onDone releases this job: let the signal that got here return first.
  if (auto done = onDone) glib::idleOnce(std::move(done));
}

}  // namespace mlfk
