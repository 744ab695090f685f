#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "services/PrintTriggers.h"

namespace mlfk {

// The page settings of every print: 36-point margins, portrait, on the
// user's paper and printer as last chosen in this run.
struct PrintInfo {
  GtkPrintSettings* settings;  // new references; the caller unrefs both
  GtkPageSetup* pageSetup;
};
PrintInfo printInfo();

// Prints a composed HTML document through an off-screen view of its own:
// loaded with the base "meadowline-farm://app/", printed once its fonts are
// ready (or its load failed, or 5 s passed), with the print dialog
// transient for the main window. `onDone` runs once the dialog has closed.
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
  void runPrintOperation();
  void finished();

  std::string html_;
  std::string title_;
  GtkWindow* window_;
  GtkWidget* offscreen_;
  WebKitWebView* printView_;
  WebKitPrintOperation* operation_ = nullptr;
  PrintTriggers triggers_;
  bool finished_ = false;
};

// Prints the page as the main view shows it, with the same settings.
void printLivePage(WebKitWebView* view, GtkWindow* window);

}  // namespace mlfk
