#include <algorithm>

#include "Client/ostrakel/Command.h"

namespace ostrakel::cli {

bool ParsedArguments::has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

const std::string* ParsedArguments::value(const std::string& option) const {
  for (const auto& [name, text] : values)
    if (name == option) return &text;
  return nullptr;
}

ParsedArguments parseArguments(const std::string& command, const Arguments& arguments,
                               const std::vector<std::string>& flags, const std::vector<std::string>& valueOptions,
                               size_t minimumOperands, size_t maximumOperands) {
  ParsedArguments parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      parsed.operands.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (std::find(flags.begin(), flags.end(), argument) != flags.end()) {
      parsed.flags.push_back(argument);
    } else if (std::find(valueOptions.begin(), valueOptions.end(), argument) != valueOptions.end()) {
      if (i + 1 >= arguments.size()) throw UsageError{argument + " needs a value.", command};
      parsed.values.emplace_back(argument, arguments[++i]);
    } else {
      throw UsageError{"unknown option " + printable(argument) + " for " + command + ".", command};
    }
  }
  if (parsed.operands.size() < minimumOperands) throw UsageError{command + " needs more arguments.", command};
  if (parsed.operands.size() > maximumOperands)
    throw UsageError{"too many arguments for " + command + ": " + printable(parsed.operands[maximumOperands]) + ".",
                     command};
  return parsed;
}

std::string printable(const std::string& text) {
  static const char* const kHex = "0123456789abcdef";
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\n')
      shown += "\\n";
    else if (c == '\t')
      shown += "\\t";
    else if (c < 0x20 || c == 0x7f)
      shown += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    else
      shown += static_cast<char>(c);
  }
  return shown;
}

}  // namespace ostrakel::cli
