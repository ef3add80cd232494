// ostrakel: lists, shows and switches the TeX distributions, and wraps an
// installed TeX as one. Reading happens here, as the calling user; every
// change to the system goes through the helper service.
#include <sys/stat.h>

#include <iostream>
#include <map>

#include "Client/ostrakel/Command.h"
#include "Protocol/HelperRequests.h"
#include "platform/SystemRoot.h"

#ifndef OSTRAKEL_VERSION
#define OSTRAKEL_VERSION "unknown"
#endif

using namespace ostrakel;
using namespace ostrakel::cli;

namespace {

using Runner = int (*)(Context&, const Arguments&);

const std::map<std::string, Runner>& commands() {
  static const std::map<std::string, Runner> table = {
      {"list", runList},   {"show", runShow}, {"use", runUse},       {"repair", runRepair},
      {"reset", runReset}, {"add", runAdd},   {"remove", runRemove},
  };
  return table;
}

void useRoot(const std::string& directory) {
  struct stat status {};
  if (directory.empty() || ::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    throw UsageError{"--root needs an existing folder, not \"" + printable(directory) + "\".", ""};
  systemroot::setHostRoot(directory);
}

int run(Context& context, const Arguments& arguments) {
  // Options for the program come before the command.
  size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      std::cout << generalUsage();
      return kSuccess;
    } else if (argument == "--version") {
      std::cout << "ostrakel " OSTRAKEL_VERSION " (service " << kServiceName << ")\n";
      return kSuccess;
    } else if (argument == "--verbose" || argument == "-v") {
      context.verbose = true;
    } else if (argument == "--root") {
      if (i + 1 >= arguments.size()) throw UsageError{"--root needs a folder.", ""};
      useRoot(arguments[++i]);
    } else if (argument.rfind("--root=", 0) == 0) {
      useRoot(argument.substr(7));
    } else if (!argument.empty() && argument[0] == '-') {
      throw UsageError{"unknown option " + printable(argument) + ".", ""};
    } else {
      break;
    }
  }
  if (i == arguments.size()) throw UsageError{"no command given.", ""};
  const std::string command = arguments[i];
  Arguments rest(arguments.begin() + static_cast<long>(i) + 1, arguments.end());
  if (command == "help") {
    if (rest.empty()) {
      std::cout << generalUsage();
      return kSuccess;
    }
    std::string text = commandUsage(rest[0]);
    if (text.empty()) throw UsageError{"there is no command \"" + printable(rest[0]) + "\".", ""};
    std::cout << text;
    return kSuccess;
  }
  auto found = commands().find(command);
  if (found == commands().end()) throw UsageError{"there is no command \"" + printable(command) + "\".", ""};
  for (const std::string& argument : rest)
    if (argument == "--help" || argument == "-h") {
      std::cout << commandUsage(command);
      return kSuccess;
    }
  return found->second(context, rest);
}

}  // namespace

int main(int argc, char** argv) {
  Context context;
  Arguments arguments(argv + 1, argv + argc);
  try {
    int status = run(context, arguments);
    std::cout.flush();
    return status;
  } catch (const UsageError& error) {
    std::cerr << "ostrakel: " << error.sentence << "\n";
    std::string usage = error.command.empty() ? std::string() : commandUsage(error.command);
    std::cerr << (usage.empty() ? "Run \"ostrakel --help\" for the commands and options.\n" : usage);
    return kUsageError;
  } catch (const WorkFailed& failure) {
    std::cout.flush();
    std::cerr << "ostrakel: " << failure.sentence << "\n";
    if (context.verbose)
      for (const std::string& detail : failure.details) std::cerr << "  " << detail << "\n";
    return kWorkFailed;
  }
}
