#pragma once

#include <webkit2/webkit2.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/GObjectPtr.h"
#include "webhost/Bridge.h"

namespace mlfk {

class PrintJob;
class TimerSource;

// Where the program's resources are: `<prefix>/share/meadowline-field-keeper`,
// found from the executable's own path.
std::filesystem::path resourcesFolder();
std::filesystem::path webRoot();

// The web host: owns the web view that runs the farm application, serves
// its files, injects the saved database, answers its bridge messages and
// decides where its navigations go.
class FarmWebView final {
 public:
  explicit FarmWebView(BridgeServices& services);
  ~FarmWebView();
  FarmWebView(const FarmWebView&) = delete;
  FarmWebView& operator=(const FarmWebView&) = delete;

  WebKitWebView* webView() const { return webView_.get(); }

  // The main window, held weakly: dialogs are modal to it while it exists.
  void setWindow(GtkWindow* window);
  GtkWindow* window() const { return window_.get(); }

  // Called once, when the first page load has finished.
  std::function<void()> onFirstLoad;

  void load();

  // Asks the page to save what it holds; `completion` runs exactly once,
  // within 1.0 s.
  void flush(std::function<void()> completion);

  // Runs a script in the page, ignoring its result.
  void evaluate(std::string_view script);

  // Edit › Undo and Redo. Outside its text fields the page takes back a
  // change to the records itself; where it does not, the typing is undone.
  enum class History { Undo, Redo };
  void step(History direction);

 private:
  void printDocument(const std::string& html, const std::string& title);
  void printLivePage(const std::string& title);

 public:
  // Prints on a later turn of the main loop: the composed document `html`,
  // or the page as shown when there is none. Dropped while a print dialog
  // is open.
  void schedulePrint(std::optional<std::string> html, std::string title);

 private:
  void installBootstrap();
  gboolean decidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void connectSignals();

  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                 gpointer);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
  static void onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
  static gboolean onMessage(WebKitUserContentManager*, JSCValue*, WebKitScriptMessageReply*,
                            gpointer);
  static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
  static gboolean onFileChooser(WebKitWebView*, WebKitFileChooserRequest*, gpointer);
  static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);

  BridgeServices& services_;
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitUserContentManager> content_;
  GObjectPtr<WebKitWebView> webView_;
  GWeakPtr<GtkWindow> window_;
  bool loadedOnce_ = false;
  bool printing_ = false;
  guint startPageTimeout_ = 0;
  std::unique_ptr<PrintJob> printJob_;
  GObjectPtr<WebKitWebContext> printContext_;
  // Cleared when this host goes, so callbacks still pending find no host.
  std::shared_ptr<FarmWebView*> self_;
};

}  // namespace mlfk
