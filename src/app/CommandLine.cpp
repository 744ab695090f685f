#include "CommandLine.h"

#include <cstdio>
#include <string>

#include "AppInfo.h"
#include "base/Identity.h"

namespace mlfk {
namespace {

constexpr std::string_view kName = kAppName;

std::string usage(std::string_view program) {
  std::string text = "Usage: ";
  text += program;
  text +=
      " [OPTION...]\n"
      "\n"
      "Keeps the records of a livestock farm on this computer.\n"
      "\n"
      "Options:\n"
      "  -h, --help       Show this help and exit\n"
      "      --version    Show the name and version and exit\n"
      "\n"
      "Files named on the command line are not opened: the records live in the\n"
      "program's own data folder; bring a backup in through \"Data and backups\".\n"
      "Starting the program while it runs brings its window forward.\n";
  return text;
}

std::string tryHelp(std::string_view program) {
  std::string text = "Try '";
  text += program;
  text += " --help' for more information.\n";
  return text;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args, std::string_view program,
                             std::string_view version) {
  CommandLine result;
  bool help = false;
  bool showVersion = false;
  bool optionsEnded = false;
  std::vector<std::string> files;
  for (const auto& arg : args) {
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "--version") {
      showVersion = true;
    } else {
      std::string name = arg.substr(0, arg.find('='));
      result.run = false;
      result.status = 2;
      result.err += std::string(program) + ": ";
      if (name == "--help" || name == "--version")
        result.err += "option '" + name + "' takes no value\n";
      else
        result.err += "unknown option '" + arg + "'\n";
    }
  }
  if (!result.run) {
    result.err += tryHelp(program);
    return result;
  }
  if (help || showVersion) {
    result.run = false;
    result.out = help ? usage(program) : std::string(kName) + " " + std::string(version) + "\n";
    return result;
  }
  for (const auto& file : files)
    result.err += std::string(program) + ": not opening '" + file +
                  "': files on the command line are not opened (see --help)\n";
  return result;
}

int handleCommandLine(int& argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string program = argc > 0 ? argv[0] : "meadowline-field-keeper";
  if (auto slash = program.rfind('/'); slash != std::string::npos) program.erase(0, slash + 1);
  const CommandLine line = parseCommandLine(args, program, AppInfo::version());
  std::fputs(line.out.c_str(), stdout);
  std::fputs(line.err.c_str(), stderr);
  if (!line.run) return line.status;
  argc = argc > 0 ? 1 : 0;
  return kKeepRunning;
}

}  // namespace mlfk
