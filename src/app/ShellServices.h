#pragma once

#include <gtk/gtk.h>

#include "webhost/Bridge.h"

namespace mlfk {

class FarmStore;
class FarmWebView;

// What the page's messages reach: the record store, the desktop's file
// manager, the save dialog and printing in the web host.
class ShellServices final : public BridgeServices {
 public:
  explicit ShellServices(FarmStore& store) : store_(store) {}

  // Set once both exist; dialogs are modal to the window while it lives.
  void attach(FarmWebView* web) { web_ = web; }

  std::optional<std::string> savedDatabase() override;
  std::string databasePath() override;
  std::optional<std::string> persist(std::string_view text) override;
  std::optional<std::string> snapshot(std::string_view reason) override;
  void reveal() override;
  void save(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply) override;
  void schedulePrint(std::optional<std::string> html, std::string title) override;

 private:
  FarmStore& store_;
  FarmWebView* web_ = nullptr;
};

}  // namespace mlfk
