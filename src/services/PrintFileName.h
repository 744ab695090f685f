#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

namespace mlfk {

// The file name a "Print to File" of a document titled `title` proposes: the
// title with what a file name cannot hold ("/", control characters, a
// leading dot) replaced, cut to a length every file system takes, and
// "Field Keeper" when nothing is left.
std::string printFileName(std::string_view title);

// A file name belongs to one print: what is remembered for the next one
// keeps the folder ("output-dir", a path, as GTK's file printer reads it)
// and drops the file's name and address.
void keepFolderOnly(GtkPrintSettings* settings);

}  // namespace mlfk
