#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "FirstShow.h"
#include "PageZoom.h"
#include "webhost/FarmWebView.h"

namespace mlfk {

class BridgeServices;

// The main window: the web host in it, its size and place between runs, and
// the window's commands (zoom, editing, print, find, reload, back up) as
// "win." actions.
class MainWindow {
 public:
  // `quit` is the application's one quit path; closing the window takes it.
  MainWindow(GtkApplication* application, BridgeServices& services, std::function<void()> quit);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  GtkWindow* window() const { return GTK_WINDOW(window_); }
  FarmWebView& web() const { return *web_; }

  // Loads the page; the window comes on screen when it has loaded, or
  // 2.5 s after at the latest.
  void launch();
  // Brings the window forward, also when it shows already: it may be behind
  // other windows or on another workspace.
  void present();
  // Asks the page to save what it holds; `done` runs exactly once.
  void flush(std::function<void()> done);

 private:
  void addActions();
  void restoreGeometry();
  void saveGeometry();
  bool isShowing() const;
  void zoomBy(int steps);
  void editingCommand(const char* webCommand, void (*editable)(GtkEditable*));
  void historyStep(FarmWebView::History direction);

  GtkWidget* window_;
  std::unique_ptr<FarmWebView> web_;
  std::unique_ptr<FirstShow> firstShow_;
  std::function<void()> quit_;
  bool iconified_ = false;
  bool fullscreen_ = false;
  ScrollZoomSteps scrollZoom_;
  guint geometrySave_ = 0;
};

}  // namespace mlfk
