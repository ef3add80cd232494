// The client's command line turned into one request of the remote interface.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/RemoteWire.h"

namespace ostrakel::client {

enum class AuthMode { own, none, given };

struct Invocation {
  std::string socketHostPath;
  AuthMode authMode = AuthMode::own;
  std::string givenAuth;  // the bytes of --auth-hex
  remote::Request request;
};

// Parses the arguments after the program name. None, with the reason in
// `why`, for a bad command line or an unreadable property-list file.
std::optional<Invocation> parseInvocation(const std::vector<std::string>& args, std::string& why);

extern const char* const kUsage;

}  // namespace ostrakel::client
