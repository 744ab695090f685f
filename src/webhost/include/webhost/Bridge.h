#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "services/FileSaver.h"
#include "webhost/BridgeMessage.h"

namespace mlfk {

inline constexpr std::string_view kBridgeName = "meadowlineNative";
inline constexpr std::string_view kDefaultPrintTitle = "Field Keeper";
inline constexpr std::string_view kDefaultSnapshotReason = "snapshot";

// What the web host asks of the rest of the shell: the page's messages and
// the records a page load starts from. The application builds it from the
// store, the dialogs and printing.
class BridgeServices {
 public:
  virtual ~BridgeServices() = default;
  // The database text as it is on disk now, or nothing when there is none.
  virtual std::optional<std::string> savedDatabase() = 0;
  virtual std::string databasePath() = 0;
  virtual std::optional<std::string> persist(std::string_view text) = 0;
  // The system's error text when no snapshot could be made of an existing database.
  virtual std::optional<std::string> snapshot(std::string_view reason) = 0;
  virtual void reveal() = 0;
  // Answers `reply` itself, later, once the user has chosen.
  virtual void save(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply) = 0;
  // Prints on a later turn of the main loop, after the reply has gone.
  virtual void schedulePrint(std::optional<std::string> html, std::string title) = 0;
};

// The "save" message's arguments, with their defaults.
SaveRequest saveRequestFrom(const BridgeMessage& message);

// Checks one message and runs its action; every message is answered exactly
// once, here or by the save service.
void dispatchBridgeMessage(const BridgeMessage& message, std::unique_ptr<BridgeReply> reply,
                           BridgeServices& services);

}  // namespace mlfk
