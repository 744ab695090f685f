#pragma once

#include <string>
#include <string_view>

namespace mlfk {

// The file name a "Print to File" of a document titled `title` proposes: the
// title with what a file name cannot hold ("/", control characters, a
// leading dot) replaced, cut to a length every file system takes, and
// "Field Keeper" when nothing is left.
std::string printFileName(std::string_view title);

}  // namespace mlfk
