#include "Client/ClientRequest.h"

#include <fstream>
#include <sstream>

#include "Protocol/HelperRequests.h"
#include "platform/FileURL.h"
#include "platform/RemoteListener.h"
#include "platform/SystemRoot.h"

namespace ostrakel::client {

const char* const kUsage =
    "usage: ostrakel-client [--socket PATH] [--no-auth | --auth-hex HEX] REQUEST [ARG...]\n"
    "requests:\n"
    "  version\n"
    "  reset\n"
    "  fix-bridges\n"
    "  fix-context\n"
    "  copy-launchd-information PLIST_FILE\n"
    "  fix-velmarmgr NAME\n"
    "  activate BUNDLE_PATH ARCH\n"
    "  activate --no-url ARCH\n";

namespace {

std::optional<std::string> fromHex(const std::string& hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      char c = hex[j];
      int digit = c >= '0' && c <= '9' ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes.push_back(static_cast<char>(value));
  }
  return bytes;
}

PlistRef readDictionaryFile(const std::string& path, std::string& why) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    why = "cannot read " + path;
    return nullptr;
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  PlistRef value = plist::parse(contents.str());
  if (!value || !value->asDictionary()) {
    why = path + " is not a property-list dictionary";
    return nullptr;
  }
  return value;
}

}  // namespace

std::optional<Invocation> parseInvocation(const std::vector<std::string>& args, std::string& why) {
  Invocation invocation;
  invocation.socketHostPath = systemroot::toHost(Listener::socketPathForService(kServiceName));
  size_t i = 0;
  bool authChosen = false;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (args[i] == "--socket" && i + 1 < args.size()) {
      invocation.socketHostPath = args[++i];
    } else if (args[i] == "--no-auth" && !authChosen) {
      invocation.authMode = AuthMode::none;
      authChosen = true;
    } else if (args[i] == "--auth-hex" && i + 1 < args.size() && !authChosen) {
      std::optional<std::string> bytes = fromHex(args[++i]);
      if (!bytes) {
        why = "--auth-hex needs an even number of hexadecimal digits";
        return std::nullopt;
      }
      invocation.authMode = AuthMode::given;
      invocation.givenAuth = *bytes;
      authChosen = true;
    } else {
      why = "unknown or incomplete option " + args[i];
      return std::nullopt;
    }
  }
  if (i >= args.size()) {
    why = "no request given";
    return std::nullopt;
  }
  const std::string verb = args[i++];
  std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());
  auto expect = [&](size_t count) {
    if (rest.size() == count) return true;
    why = verb + " takes " + std::to_string(count) + " argument(s)";
    return false;
  };
  remote::Request& request = invocation.request;
  request.id = 1;
  using namespace requestnames;
  if (verb == "version" || verb == "reset" || verb == "fix-bridges" || verb == "fix-context") {
    if (!expect(0)) return std::nullopt;
    request.name = verb == "version" ? kGetVersion
                   : verb == "reset" ? kReset
                   : verb == "fix-bridges" ? kFixBridges
                                           : kFixContext;
  } else if (verb == "copy-launchd-information") {
    if (!expect(1)) return std::nullopt;
    PlistRef dictionary = readDictionaryFile(rest[0], why);
    if (!dictionary) return std::nullopt;
    request.name = kCopyLaunchdInformation;
    request.arguments.push_back(dictionary);
  } else if (verb == "fix-velmarmgr") {
    if (!expect(1)) return std::nullopt;
    request.name = kFixVelmarmgr;
    request.arguments.push_back(PlistValue::string(rest[0]));
  } else if (verb == "activate") {
    if (!expect(2)) return std::nullopt;
    request.name = kActivateBridge;
    if (rest[0] == "--no-url") {
      request.arguments.push_back(nullptr);
    } else if (rest[0].empty() || rest[0][0] != '/') {
      // The service reads the bundle at this path inside its own root; a
      // relative path names nothing there.
      why = "BUNDLE_PATH must be an absolute path as the service sees it: " + rest[0];
      return std::nullopt;
    } else {
      request.arguments.push_back(PlistValue::string(FileURL{rest[0]}.absoluteString()));
    }
    request.arguments.push_back(PlistValue::string(rest[1]));
  } else {
    why = "unknown request " + verb;
    return std::nullopt;
  }
  // The authorization data comes last in every request; it is filled in
  // once the client knows whether it can make its own.
  request.arguments.push_back(nullptr);
  return invocation;
}

}  // namespace ostrakel::client
