#include "services/PrintJob.h"

#include <filesystem>

namespace mlfk {
namespace {

constexpr const char* kFontsReadyScript = "document.fonts ? document.fonts.ready.then(() => true) : true";
constexpr const char* kPrintBaseUrl = "meadowline-farm://app/";

std::string settingsFile() {
  return (std::filesystem::path(g_get_user_state_dir()) / "meadowline-field-keeper" /
          "print-settings.ini")
      .string();
}

// What the user picked in a print dialog (printer, paper, output file) is
// offered again by the next print, in this run and the next.
GtkPrintSettings*& sharedSettings() {
  static GtkPrintSettings* settings = [] {
    GtkPrintSettings* saved = gtk_print_settings_new_from_file(settingsFile().c_str(), nullptr);
    return saved ? saved : gtk_print_settings_new();
  }();
  return settings;
}

void remember(WebKitPrintOperation* operation) {
  if (GtkPrintSettings* chosen = webkit_print_operation_get_print_settings(operation)) {
    g_object_unref(sharedSettings());
    sharedSettings() = gtk_print_settings_copy(chosen);
    const std::string file = settingsFile();
    g_mkdir_with_parents(std::filesystem::path(file).parent_path().c_str(), 0700);
    gtk_print_settings_to_file(sharedSettings(), file.c_str(), nullptr);
  }
}

WebKitPrintOperation* newOperation(WebKitWebView* view, const char* jobName) {
  WebKitPrintOperation* operation = webkit_print_operation_new(view);
  PrintInfo info = printInfo();
  if (jobName) gtk_print_settings_set(info.settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME, jobName);
  webkit_print_operation_set_print_settings(operation, info.settings);
  webkit_print_operation_set_page_setup(operation, info.pageSetup);
  g_object_unref(info.settings);
  g_object_unref(info.pageSetup);
  return operation;
}

}  // namespace

PrintInfo printInfo() {
  GtkPrintSettings* settings = gtk_print_settings_copy(sharedSettings());
  gtk_print_settings_set_orientation(settings, GTK_PAGE_ORIENTATION_PORTRAIT);
  GtkPageSetup* page = gtk_page_setup_new();
  if (GtkPaperSize* paper = gtk_print_settings_get_paper_size(settings)) {
    gtk_page_setup_set_paper_size(page, paper);
    gtk_paper_size_free(paper);
  }
  gtk_page_setup_set_orientation(page, GTK_PAGE_ORIENTATION_PORTRAIT);
  gtk_page_setup_set_top_margin(page, 36, GTK_UNIT_POINTS);
  gtk_page_setup_set_bottom_margin(page, 36, GTK_UNIT_POINTS);
  gtk_page_setup_set_left_margin(page, 36, GTK_UNIT_POINTS);
  gtk_page_setup_set_right_margin(page, 36, GTK_UNIT_POINTS);
  return {settings, page};
}

PrintJob::PrintJob(std::string html, std::string title, WebKitWebContext* context,
                   GtkWindow* window, TimerSource& timers)
    : html_(std::move(html)),
      title_(std::move(title)),
      window_(window),
      offscreen_(gtk_offscreen_window_new()),
      printView_(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context))),
      triggers_(timers, [this] { runPrintOperation(); }) {
  g_object_ref(window_);
  // A fixed US Letter text area inside the margins, away from the screen.
  gtk_widget_set_size_request(GTK_WIDGET(printView_), 540, 720);
  gtk_container_add(GTK_CONTAINER(offscreen_), GTK_WIDGET(printView_));
  g_signal_connect(printView_, "load-changed",
                   G_CALLBACK(+[](WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
                     if (event != WEBKIT_LOAD_FINISHED) return;
                     auto* job = static_cast<PrintJob*>(data);
                     webkit_web_view_evaluate_javascript(
                         view, kFontsReadyScript, -1, nullptr, nullptr, nullptr,
                         +[](GObject* source, GAsyncResult* result, gpointer data) {
                           g_autoptr(GError) error = nullptr;
                           g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                               WEBKIT_WEB_VIEW(source), result, &error);
                           auto* ready = static_cast<std::function<void()>*>(data);
                           (*ready)();
                           delete ready;
                         },
                         new std::function<void()>(job->triggers_.fontsReadyLater()));
                   }),
                   this);
  g_signal_connect(printView_, "load-failed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, char*, GError*, gpointer data) {
                     static_cast<PrintJob*>(data)->triggers_.loadFailed();
                     return FALSE;
                   }),
                   this);
}

PrintJob::~PrintJob() {
  triggers_.cancel();
  g_signal_handlers_disconnect_by_data(printView_, this);
  if (operation_) {
    g_signal_handlers_disconnect_by_data(operation_, this);
    g_object_unref(operation_);
  }
  gtk_widget_destroy(offscreen_);
  g_object_unref(window_);
}

void PrintJob::start() {
  gtk_widget_show_all(offscreen_);
  webkit_web_view_load_html(printView_, html_.c_str(), kPrintBaseUrl);
  triggers_.started();
}

void PrintJob::runPrintOperation() {
  WebKitPrintOperation* operation = newOperation(printView_, title_.c_str());
  g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation* op, gpointer data) {
                     remember(op);
                     static_cast<PrintJob*>(data)->finished();
                   }),
                   this);
  operation_ = operation;
  const auto response = webkit_print_operation_run_dialog(operation, window_);
  if (response == WEBKIT_PRINT_OPERATION_RESPONSE_CANCEL) finished();
}

void PrintJob::finished() {
  if (finished_) return;
  finished_ = true;
  gtk_widget_hide(offscreen_);
  // onDone releases this job: let the print operation's signal return first.
  auto done = onDone;
  if (done) g_idle_add_once([](gpointer data) {
      auto* callback = static_cast<std::function<void()>*>(data);
      (*callback)();
      delete callback;
    }, new std::function<void()>(std::move(done)));
}

void printLivePage(WebKitWebView* view, GtkWindow* window) {
  if (!window) return;
  // Kept until the next live print, so a print still spooling is not cut off.
  static WebKitPrintOperation* last = nullptr;
  if (last) g_object_unref(last);
  last = newOperation(view, nullptr);
  g_signal_connect(last, "finished", G_CALLBACK(remember), nullptr);
  webkit_print_operation_run_dialog(last, window);
}

}  // namespace mlfk
