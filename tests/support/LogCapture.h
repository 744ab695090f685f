#pragma once

#include <glib.h>

#include <string>
#include <vector>

namespace mlfk::test {

// Collects what the code logs through GLib while it lives, instead of
// printing it.
class LogCapture {
 public:
  LogCapture() { previous_ = g_log_set_default_handler(&LogCapture::collect, this); }
  ~LogCapture() { g_log_set_default_handler(previous_, nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines;

 private:
  static void collect(const char*, GLogLevelFlags, const char* message, gpointer self) {
    static_cast<LogCapture*>(self)->lines.emplace_back(message);
  }
  GLogFunc previous_ = nullptr;
};

}  // namespace mlfk::test
