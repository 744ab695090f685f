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

  // Whether the program must start again once this process has gone: a start
  // reached this instance while it was saving to quit, or this start found
  // no instance left to hand over to.
  enum class AfterQuit { Exit, StartAgain };
  AfterQuit afterQuit() const { return afterQuit_; }

  // Any quit request: the first flushes the page, a second quits at once.
  void requestQuit();

 private:
  int handOver();
  void letGo();
  void quitSoon();
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
