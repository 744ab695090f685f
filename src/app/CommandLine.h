#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mlfk {

// What the command line asks for, decided before any display is opened so
// that --help and --version work from a plain terminal or over ssh.
struct CommandLine {
  bool run = true;  // false: print and exit with `status`
  int status = 0;   // 2 for a usage error, as command-line tools do
  std::string out;  // for stdout
  std::string err;  // for stderr
};

// `args` are the arguments after the program name; `program` is the name the
// program was started by, `version` the installed version text.
CommandLine parseCommandLine(const std::vector<std::string>& args, std::string_view program,
                             std::string_view version);

// Prints what the command line asks for. Returns the exit status when the
// program should stop there; otherwise leaves only the program name in argv
// (files are not opened, and GApplication would refuse them).
int handleCommandLine(int& argc, char** argv);
inline constexpr int kKeepRunning = -1;

}  // namespace mlfk
