// Asking the helper service for a change, and turning what went wrong into
// a sentence a person can act on.
#pragma once

#include <string>

#include "Client/ostrakel/Command.h"
#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace ostrakel::cli {

struct ServiceAnswer {
  std::string message;
  bool skipped = false;  // the change was in place already
};

// Sends one request with this process's authorization data last and waits
// for the answer. `doing` says what is asked for ("activate Sample TeX 2024"),
// `action` is the action name of its right. Throws WorkFailed on any error.
ServiceAnswer askService(const std::string& request, PlistArray arguments, const std::string& doing,
                         const std::string& action);

// The lines --verbose shows for an error: domain, code and text, then the
// errors underneath.
std::vector<std::string> errorDetails(const ErrorRef& error);

}  // namespace ostrakel::cli
