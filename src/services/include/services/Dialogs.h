#pragma once

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Identity.h"

namespace mlfk {

// Each dialog is modal to `parent` when there is one and to the application
// otherwise, and calls `done` exactly once, however it is closed.

// A save dialog proposing `proposedName` unchanged; folders can be made, and
// replacing an existing file is confirmed first.
void chooseSaveDestination(GtkWindow* parent, const std::string& proposedName,
                           std::function<void(std::optional<std::filesystem::path>)> done);

// An open dialog for files only (never folders); several when `multiple`.
void chooseFilesToOpen(GtkWindow* parent, bool multiple,
                       std::function<void(std::optional<std::vector<std::string>>)> done);

void showAlert(GtkWindow* parent, const std::string& message, std::function<void()> done);
void askToConfirm(GtkWindow* parent, const std::string& message, std::function<void(bool)> done);
void askForText(GtkWindow* parent, const std::string& prompt, const std::string& defaultText,
                std::function<void(std::optional<std::string>)> done);

// The answers a dialog's response gives the page.
bool confirmAnswer(int response);
std::optional<std::string> promptAnswer(int response, const std::string& fieldText);
template <typename T>
std::optional<T> acceptedOrNothing(int response, T chosen) {
  if (response != GTK_RESPONSE_ACCEPT) return std::nullopt;
  return chosen;
}

}  // namespace mlfk
