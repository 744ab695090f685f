#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/GObjectPtr.h"
#include "services/PrintTriggers.h"

namespace mlfk {

// The page settings of every print: 36-point margins, portrait, on the
// user's paper and printer as last chosen.
struct PrintInfo {
  GObjectPtr<GtkPrintSettings> settings;
  GObjectPtr<GtkPageSetup> pageSetup;
};
PrintInfo printInfo();

// Shows GTK's print dialog for `view`, modal to `parent` but without a
// nested main loop, and prints there on OK. `done` runs exactly once: when
// the dialog is cancelled or closed, when the print has finished or failed,
// or when the dialog goes without an answer. A "Print to File" proposes a
// file named after `title`, for this print only.
void printWithDialog(WebKitWebView* view, GtkWindow* parent, const std::string& title,
                     std::function<void()> done);

// Prints a composed HTML document through an off-screen view of its own:
// loaded with the base "meadowline-farm://app/", printed once its fonts are
// ready (or its load failed, or 5 s passed). The view shows the light
// appearance and opens no dialog, file chooser or page of its own. `onDone`
// runs once the print dialog has closed and the print is handed over.
class PrintJob {
 public:
  // `context` serves the web application's files and stores nothing.
  PrintJob(std::string html, std::string title, WebKitWebContext* context, GtkWindow* window,
           TimerSource& timers);
  ~PrintJob();
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  std::function<void()> onDone;
  void start();

 private:
  void showDialog();
  void finished();

  std::string html_;
  std::string title_;
  GObjectPtr<GtkWindow> window_;
  GtkWidget* offscreen_;
  WebKitWebView* printView_;
  PrintTriggers triggers_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool finished_ = false;
  bool loaded_ = false;
  std::vector<gulong> handlers_;
};

}  // namespace mlfk
