// The `ostrakel` command: what every subcommand shares.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ostrakel::cli {

inline constexpr int kSuccess = 0;
inline constexpr int kWorkFailed = 1;
inline constexpr int kUsageError = 2;

using Arguments = std::vector<std::string>;

struct Context {
  bool verbose = false;
};

// Thrown for a command line that does not make sense (exit status 2).
struct UsageError {
  UsageError(std::string sentence, std::string command) : sentence(std::move(sentence)), command(std::move(command)) {}
  std::string sentence;
  std::string command;  // whose usage to show; empty for the general one
};

// Thrown when the work could not be done (exit status 1). `sentence` says
// what happened and what to do; `details` are shown with --verbose only.
struct WorkFailed {
  explicit WorkFailed(std::string sentence, std::vector<std::string> details = {})
      : sentence(std::move(sentence)), details(std::move(details)) {}
  std::string sentence;
  std::vector<std::string> details;
};

// The options of one subcommand: flags and options with a value, in any
// order among the operands. Unknown options are usage errors.
struct ParsedArguments {
  std::vector<std::string> operands;
  std::vector<std::string> flags;
  std::vector<std::pair<std::string, std::string>> values;

  bool has(const std::string& flag) const;
  const std::string* value(const std::string& option) const;
};
ParsedArguments parseArguments(const std::string& command, const Arguments& arguments,
                               const std::vector<std::string>& flags, const std::vector<std::string>& valueOptions,
                               size_t minimumOperands, size_t maximumOperands);

int runList(Context& context, const Arguments& arguments);
int runShow(Context& context, const Arguments& arguments);
int runUse(Context& context, const Arguments& arguments);
int runRepair(Context& context, const Arguments& arguments);
int runReset(Context& context, const Arguments& arguments);
int runAdd(Context& context, const Arguments& arguments);
int runRemove(Context& context, const Arguments& arguments);

// Help texts: the general one, and one per command (empty for an unknown one).
std::string generalUsage();
std::string commandUsage(const std::string& command);

// Text for a terminal or a log: control characters shown as escapes, the
// other bytes as they are.
std::string printable(const std::string& text);

}  // namespace ostrakel::cli
