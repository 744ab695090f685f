#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "app/FirstShow.h"
#include "app/PageZoom.h"

namespace mlfk {

class FarmWebView;
class InstanceLock;

inline constexpr const char* kApplicationId = "farm.meadowline.FieldKeeper";

// The application: launches the main window with the web host in it, runs
// the menu commands and turns every quit request into a flush of the page.
class AppDelegate {
 public:
  AppDelegate();
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  int run(int argc, char** argv);

  // Any quit request: the first flushes the page, a second quits at once.
  void requestQuit();

 private:
  void launch();
  void reopen();
  void buildMenus();
  void showWindow();
  bool windowIsShowing() const;
  void saveGeometry();
  void sayAlreadyOpen();

  // Commands of the menu bar.
  void about();
  void revealData();
  void backUp();
  void printPage();
  void findAnimal();
  void zoomReset();
  void zoomIn();
  void zoomOut();
  void reload();
  void support();
  void editingCommand(const char* webCommand, void (*editable)(GtkEditable*));

  GtkApplication* application_;
  GtkWidget* window_ = nullptr;
  std::unique_ptr<FarmWebView> web_;
  std::unique_ptr<FirstShow> firstShow_;
  bool quitting_ = false;
  bool iconified_ = false;
  bool fullscreen_ = false;
  ScrollZoomSteps scrollZoom_;
  std::unique_ptr<InstanceLock> instanceLock_;
  guint geometrySave_ = 0;
};

}  // namespace mlfk
