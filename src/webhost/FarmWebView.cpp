#include "webhost/FarmWebView.h"

#include <unistd.h>

#include "base/Callbacks.h"
#include "base/GObjectPtr.h"
#include "base/Log.h"

#include "Bootstrap.h"
#include "BundleSchemeHandler.h"
#include "Flush.h"
#include "JscBridgeMessage.h"
#include "NavigationPolicy.h"
#include "SchemeRegistration.h"
#include "base/Timers.h"
#include "desktop/FileManager.h"
#include "services/Dialogs.h"
#include "services/Downloads.h"
#include "services/PrintJob.h"

namespace mlfk {
namespace {

constexpr GdkRGBA kBackground{0.114, 0.137, 0.153, 1.0};
constexpr guint kStartPageTimeoutSeconds = 60;

std::string applicationFolder(const char* base) {
  return (std::filesystem::path(base) / "meadowline-field-keeper" / "webkit").string();
}

}  // namespace

std::filesystem::path resourcesFolder() {
  std::error_code ec;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) executable = std::filesystem::current_path() / "meadowline-field-keeper";
  return (executable.parent_path().parent_path() / "share" / "meadowline-field-keeper")
      .lexically_normal();
}

std::filesystem::path webRoot() {
  return (resourcesFolder() / "web").lexically_normal();
}

FarmWebView::FarmWebView(BridgeServices& services)
    : services_(services), self_(std::make_shared<FarmWebView*>(this)) {
  // The page's own storage lives beside, never inside, the records folder.
  g_autoptr(WebKitWebsiteDataManager) data = webkit_website_data_manager_new(
      "base-data-directory", applicationFolder(g_get_user_data_dir()).c_str(),
      "base-cache-directory", applicationFolder(g_get_user_cache_dir()).c_str(), nullptr);
  context_ =
      GObjectPtr<WebKitWebContext>::adopt(webkit_web_context_new_with_website_data_manager(data));
  registerBundleScheme(context_.get(), webRoot());
  handleDownloads(context_.get(), [self = std::weak_ptr<FarmWebView*>(self_)]() -> GtkWindow* {
    auto host = self.lock();
    return host && *host ? (*host)->window_.get() : nullptr;
  });

  g_autoptr(WebKitSettings) settings = webkit_settings_new();
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_enable_fullscreen(settings, TRUE);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);

  // The bootstrap script is installed by each navigation of the page, with
  // the database as it is on disk then.
  content_ = GObjectPtr<WebKitUserContentManager>::adopt(webkit_user_content_manager_new());

  webView_ = GObjectPtr<WebKitWebView>::adopt(WEBKIT_WEB_VIEW(g_object_ref_sink(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(), "user-content-manager",
                   content_.get(), "settings", settings, nullptr))));
  const std::string bridge(kBridgeName);
  webkit_user_content_manager_register_script_message_handler_with_reply(content_.get(),
                                                                         bridge.c_str(), nullptr);
  connectSignals();
  webkit_web_view_set_background_color(webView_.get(), &kBackground);
}

FarmWebView::~FarmWebView() {
  *self_ = nullptr;
  if (startPageTimeout_) g_source_remove(startPageTimeout_);
  printJob_.reset();
  g_signal_handlers_disconnect_by_data(content_.get(), this);
  g_signal_handlers_disconnect_by_data(webView_.get(), this);
}

void FarmWebView::connectSignals() {
  const std::string signal = "script-message-with-reply-received::" + std::string(kBridgeName);
  g_signal_connect(content_.get(), signal.c_str(), G_CALLBACK(glib::Guarded<&onMessage>::call),
                   this);
  g_signal_connect(webView_.get(), "decide-policy",
                   G_CALLBACK(glib::Guarded<&onDecidePolicy>::call), this);
  g_signal_connect(webView_.get(), "load-changed", G_CALLBACK(glib::Guarded<&onLoadChanged>::call),
                   this);
  g_signal_connect(webView_.get(), "web-process-terminated",
                   G_CALLBACK(glib::Guarded<&onProcessTerminated>::call), this);
  g_signal_connect(webView_.get(), "script-dialog",
                   G_CALLBACK(glib::Guarded<&onScriptDialog>::call), this);
  g_signal_connect(webView_.get(), "run-file-chooser",
                   G_CALLBACK(glib::Guarded<&onFileChooser>::call), this);
  g_signal_connect(webView_.get(), "create", G_CALLBACK(glib::Guarded<&onCreate>::call), this);
}

void FarmWebView::setWindow(GtkWindow* window) {
  window_.reset(window);
}

void FarmWebView::load() {
  const std::string start(kStartUrl);
  webkit_web_view_load_uri(webView_.get(), start.c_str());
  // WebKitGTK requests carry no time-out of their own: stop a start page
  // that has not arrived after a minute, as a timed-out request would.
  startPageTimeout_ = glib::timeoutOnce(std::chrono::seconds(kStartPageTimeoutSeconds), [this] {
    startPageTimeout_ = 0;
    if (!loadedOnce_) webkit_web_view_stop_loading(webView_.get());
  });
}

void FarmWebView::installBootstrap() {
  const auto database = services_.savedDatabase();
  const std::string script =
      bootstrapScript(database ? std::string_view(*database) : std::string_view());
  g_autoptr(WebKitUserScript) user =
      webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_remove_all_scripts(content_.get());
  webkit_user_content_manager_add_script(content_.get(), user);
}

void FarmWebView::evaluate(std::string_view script) {
  const std::string text(script);
  webkit_web_view_evaluate_javascript(webView_.get(), text.c_str(), -1, nullptr, nullptr, nullptr,
                                      nullptr, nullptr);
}

void FarmWebView::step(History direction) {
  const bool undo = direction == History::Undo;
  const char* script = undo ? "window.mlUndo ? window.mlUndo() === true : false"
                            : "window.mlRedo ? window.mlRedo() === true : false";
  const char* editing = undo ? WEBKIT_EDITING_COMMAND_UNDO : WEBKIT_EDITING_COMMAND_REDO;
  webkit_web_view_evaluate_javascript(
      webView_.get(), script, -1, nullptr, nullptr, nullptr, glib::asyncReady,
      glib::asyncData([editing](GObject* source, GAsyncResult* result) {
        g_autoptr(GError) error = nullptr;
        g_autoptr(JSCValue) taken =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        glib::logError(error, "the page's undo failed");
        if (taken && jsc_value_is_boolean(taken) && jsc_value_to_boolean(taken)) return;
        webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(source), editing);
      }));
}

void FarmWebView::flush(std::function<void()> completion) {
  WebKitWebView* view = webView_.get();
  FlushTiming::start(
      MainLoopTimers::shared(),
      [view](std::function<void()> evaluated) {
        const std::string script(kFlushScript);
        webkit_web_view_evaluate_javascript(
            view, script.c_str(), -1, nullptr, nullptr, nullptr, glib::asyncReady,
            glib::asyncData(
                [evaluated = std::move(evaluated)](GObject* source, GAsyncResult* result) {
                  g_autoptr(GError) error = nullptr;
                  g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(
                      WEBKIT_WEB_VIEW(source), result, &error);
                  glib::logError(error, "the page's flush before quitting failed");
                  evaluated();
                }));
      },
      std::move(completion));
}

void FarmWebView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<FarmWebView*>(data);
  if (event != WEBKIT_LOAD_FINISHED || self->loadedOnce_) return;
  self->loadedOnce_ = true;
  if (self->onFirstLoad) self->onFirstLoad();
}

void FarmWebView::onProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason,
                                      gpointer) {
  webkit_web_view_reload(view);
}

gboolean FarmWebView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type, gpointer data) {
  return static_cast<FarmWebView*>(data)->decidePolicy(decision, type);
}

gboolean FarmWebView::decidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  NavigationDecision verdict = NavigationDecision::Allow;
  std::string url;
  bool newDocument = false;
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    verdict = decideResponse(webkit_response_policy_decision_is_mime_type_supported(response));
  } else {
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(navigation);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (uri) url = uri;
    const char* current = webkit_web_view_get_uri(webView_.get());
    newDocument = startsNewDocument(
        current ? current : "", url,
        webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_RELOAD
            ? LoadKind::Reload
            : LoadKind::Navigation);
    verdict = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION
                  ? decideNewWindow(uri ? std::optional<std::string_view>(url) : std::nullopt)
                  : decideNavigation(uri ? std::optional<std::string_view>(url) : std::nullopt,
                                     LinkTarget::Show);
  }
  switch (verdict) {
    case NavigationDecision::Allow:
      // A load or reload of the page starts from the records as saved now,
      // not as they were when the window opened; the page's own route
      // changes need no new copy.
      if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && newDocument &&
          lowerCaseScheme(url) == kAppScheme)
        installBootstrap();
      webkit_policy_decision_use(decision);
      break;
    case NavigationDecision::Download:
      webkit_policy_decision_download(decision);
      break;
    case NavigationDecision::OpenExternally:
      openUriWithDefaultHandler(url);
      webkit_policy_decision_ignore(decision);
      break;
    case NavigationDecision::Drop:
      webkit_policy_decision_ignore(decision);
      break;
  }
  return TRUE;
}

gboolean FarmWebView::onMessage(WebKitUserContentManager*, JSCValue* value,
                                WebKitScriptMessageReply* reply, gpointer data) {
  auto* self = static_cast<FarmWebView*>(data);
  // Connected under glib::Guarded: an exception leaves the reply to answer
  // with an error as it goes.
  JscBridgeMessage message(value);
  dispatchBridgeMessage(message,
                        std::make_unique<JscBridgeReply>(reply, jsc_value_get_context(value)),
                        self->services_);
  return TRUE;
}

void FarmWebView::schedulePrint(std::optional<std::string> html, std::string title) {
  // One print dialog at a time: a request while one is open is dropped.
  if (printing_) return;
  printing_ = true;
  // After the reply has gone and the message handler has returned.
  glib::idleOnce([self = std::weak_ptr<FarmWebView*>(self_), html = std::move(html),
                  title = std::move(title)] {
    auto host = self.lock();
    if (!host || !*host) return;
    FarmWebView* web = *host;
    if (html && !html->empty()) {
      web->printDocument(*html, title);
    } else {
      web->printLivePage(title);
    }
  });
}

void FarmWebView::printLivePage(const std::string& title) {
  if (!window_.get()) {
    printing_ = false;
    return;
  }
  printWithDialog(webView_.get(), window_.get(), title,
                  [self = std::weak_ptr<FarmWebView*>(self_)] {
                    if (auto host = self.lock(); host && *host) (*host)->printing_ = false;
                  });
}

void FarmWebView::printDocument(const std::string& html, const std::string& title) {
  if (!window_.get() || printJob_) {
    printing_ = false;
    return;
  }
  if (!printContext_) {
    // The print view's own context: the same files, nothing stored.
    g_autoptr(WebKitWebsiteDataManager) ephemeral = webkit_website_data_manager_new_ephemeral();
    printContext_ = GObjectPtr<WebKitWebContext>::adopt(
        webkit_web_context_new_with_website_data_manager(ephemeral));
    // Each job's view is used once: keep no page, memory or process cache
    // behind it between prints.
    webkit_web_context_set_cache_model(printContext_.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    registerBundleScheme(printContext_.get(), webRoot());
  }
  printJob_ = std::make_unique<PrintJob>(html, title, printContext_.get(), window_.get(),
                                         MainLoopTimers::shared());
  printJob_->onDone = [self = std::weak_ptr<FarmWebView*>(self_)] {
    if (auto host = self.lock(); host && *host) {
      (*host)->printJob_.reset();
      (*host)->printing_ = false;
    }
  };
  printJob_->start();
}

gboolean FarmWebView::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
  auto* self = static_cast<FarmWebView*>(data);
  const char* message = webkit_script_dialog_get_message(dialog);
  const std::string text = message ? message : "";
  webkit_script_dialog_ref(dialog);
  auto close = [dialog] {
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
  };
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT:
      showAlert(self->window_.get(), text, close);
      break;
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      askToConfirm(self->window_.get(), text, [dialog, close](bool confirmed) {
        webkit_script_dialog_confirm_set_confirmed(dialog, confirmed);
        close();
      });
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT: {
      const char* initial = webkit_script_dialog_prompt_get_default_text(dialog);
      askForText(self->window_.get(), text, initial ? initial : "",
                 [dialog, close](std::optional<std::string> answer) {
                   if (answer) webkit_script_dialog_prompt_set_text(dialog, answer->c_str());
                   close();
                 });
      break;
    }
  }
  return TRUE;
}

gboolean FarmWebView::onFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                    gpointer data) {
  auto* self = static_cast<FarmWebView*>(data);
  // Held until the chooser answers, however long the page has gone by then.
  auto held = std::make_shared<GObjectPtr<WebKitFileChooserRequest>>(
      GObjectPtr<WebKitFileChooserRequest>::retain(request));
  chooseFilesToOpen(self->window_.get(), webkit_file_chooser_request_get_select_multiple(request),
                    [held](std::optional<std::vector<std::string>> files) {
                      WebKitFileChooserRequest* request = held->get();
                      if (files) {
                        // WebKit decodes %XX in the names it is handed: a "%"
                        // in a name must reach it as "%25", or "Herd%20list.csv"
                        // is looked for as "Herd list.csv".
                        for (auto& f : *files) {
                          for (size_t at = f.find('%'); at != std::string::npos;
                               at = f.find('%', at + 3))
                            f.replace(at, 1, "%25");
                        }
                        std::vector<const char*> list;
                        for (const auto& f : *files) list.push_back(f.c_str());
                        list.push_back(nullptr);
                        webkit_file_chooser_request_select_files(request, list.data());
                      } else {
                        webkit_file_chooser_request_cancel(request);
                      }
                    });
  return TRUE;
}

GtkWidget* FarmWebView::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  if (uri && decideNewWindow(std::string_view(uri)) == NavigationDecision::OpenExternally)
    openUriWithDefaultHandler(uri);
  return nullptr;  // never a second view
}

}  // namespace mlfk
