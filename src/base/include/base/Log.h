#pragma once

// Every error GLib, GTK or WebKit reports leaves a line in the log, also
// where the program carries on without what failed.

#include <glib.h>

#include <cerrno>
#include <cstring>

namespace mlfk::glib {

enum class Severity {
  Warning,  // something the user asked for did not happen
  Notice,   // the desktop lacks something and the program does without it
};

inline void logError(const GError* error, const char* what, Severity severity = Severity::Warning) {
  if (!error) return;
  if (severity == Severity::Warning)
    g_warning("%s: %s", what, error->message);
  else
    g_message("%s: %s", what, error->message);
}

// For calls that report through errno (g_mkdir_with_parents).
inline void logErrno(int result, const char* what) {
  if (result != 0) g_warning("%s: %s", what, std::strerror(errno));
}

}  // namespace mlfk::glib
