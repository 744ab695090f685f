#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "base/GObjectPtr.h"

namespace mlfk {

class InstanceLock;
class MainWindow;
class ShellServices;

// The application: start-up, the main window on activation, the
// application-wide commands, and the one quit path that every quit request
// takes, which flushes the page first.
class AppDelegate {
 public:
  AppDelegate();
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  int run(int argc, char** argv);

  // Whether the program was started again while this instance was saving to
  // quit: that start reached this instance, which cannot open a window now.
  enum class AfterQuit { Exit, StartAgain };
  AfterQuit afterQuit() const { return afterQuit_; }

  // Any quit request: the first flushes the page, a second quits at once.
  void requestQuit();

 private:
  void saveBeforeSessionEnds();
  void activate();
  void launch();
  void waitForLock(int attemptsLeft);
  void openWindow();
  void buildMenus();
  void sayAlreadyOpen();
  void about();
  void revealData();

  GObjectPtr<GtkApplication> application_;
  std::unique_ptr<InstanceLock> instanceLock_;
  std::unique_ptr<ShellServices> services_;
  std::unique_ptr<MainWindow> window_;
  bool quitting_ = false;
  AfterQuit afterQuit_ = AfterQuit::Exit;
};

}  // namespace mlfk
