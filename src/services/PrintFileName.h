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

// What the next print is offered: the printer, paper and folder ("output-dir",
// a path, as GTK's file printer reads it). The file's name and address, the
// pages chosen and the number of copies belong to this print alone.
void keepForNextPrint(GtkPrintSettings* settings);

}  // namespace mlfk
