// The process-wide logger: the system log with threshold 6, standard output for
// the command line, and the two error-reporting operations.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/Format.h"

namespace ostrakel {

class Logger4Ostrakel {
public:
  static constexpr int64_t kThreshold = 6;

  static void start();
  static void stop();
  static void logWithLevel(int32_t level, const std::string& text);
  static void logWithLevel(int32_t level, std::string_view format, std::initializer_list<FmtArg> args);
  static void writeOutWithFormat(std::string_view format, std::initializer_list<FmtArg> args);
  static void logError(const ErrorRef& error);
  static void reportError(const ErrorRef& error);
};

}  // namespace ostrakel
