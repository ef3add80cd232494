#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "Helper/Helper4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "%@                print version\n"
    "--build-version          print build version and exit\n"
    "--list                   list available bridges and exit\n"
    "--active                 display active distribution and exit\n"
    "--activate name arch     activate the given distribution\n"
    "                         name arch arguments should be one of\n"
    "                         the lines output by the --list option\n"
    "--list-long              list available bridges, more verbose\n"
    "--help                   this help\n";

// Walks the arguments, echoing each and running each verb as it is met.
// Returns the number of launch tokens found.
int walkArguments(Helper4Ostrakel* helper, const std::vector<std::string>& arguments) {
  int tokens = 0;
  const size_t count = arguments.size();
  size_t i = 0;
  while (i < count) {
    const std::string& argument = arguments[i];
    Logger4Ostrakel::writeOutWithFormat("argument:%s\n", {argument});
    if (argument == "--launch-service") {
      ++tokens;
      i += 1;
      continue;
    }
    if (argument == "--version") {
      if (i + 1 >= count) break;
      const std::string& value = arguments[i + 1];
      Logger4Ostrakel::writeOutWithFormat("Version: %s\n", {value});
      if (value == kBuildNumberText) ++tokens;
      i += 2;
      continue;
    }
    if (argument == "--help") {
      Logger4Ostrakel::writeOutWithFormat(kUsage, {"--version"});
    } else if (argument == "--build-version") {
      Logger4Ostrakel::writeOutWithFormat("Build version: %li\n", {kBuildNumber});
    } else if (argument == "--list") {
      if (helper) helper->list();
    } else if (argument == "--list-long") {
      if (helper) helper->listLong();
    } else if (argument == "--active") {
      if (helper) helper->active();
    } else if (argument == "--activate") {
      // The name and the source are not consumed: the walk echoes and tests
      // them in their turn.
      if (helper && i + 2 < count) helper->activateBridgeWithName(arguments[i + 1], arguments[i + 2]);
    }
    i += 1;
  }
  return tokens;
}

// Whether the environment asks for messages in a language of its own. The
// C locales (the usual one of services and scripts) have no catalogue: the
// loading of the locale's data can then be spared, a good part of the start-up
// of a short command. LANGUAGE counts too, as gettext heeds it for any locale
// but the plain C one.
bool messagesMayBeTranslated() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  if (set("LANGUAGE")) return true;
  const char* locale = set("LC_ALL");
  if (!locale) locale = set("LC_MESSAGES");
  if (!locale) locale = set("LANG");
  if (!locale) return false;
  const std::string name = locale;
  return !(name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0);
}

}  // namespace

int helperMain(int argc, char** argv) {
  // Only the message catalogue follows the user's locale; numbers and texts
  // keep the C conventions everywhere else.
  if (messagesMayBeTranslated()) std::setlocale(LC_MESSAGES, "");

  // Arguments stay the bytes the kernel handed over. Text that is not valid
  // UTF-8 is therefore echoed and used as a bridge name byte for byte, never
  // re-encoded or replaced.
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv && argv[i]; ++i) arguments.emplace_back(argv[i]);
  processinfo::setArguments(arguments);

  std::shared_ptr<Helper4Ostrakel> helper = Helper4Ostrakel::init();
  Logger4Ostrakel::start();
  // Without a helper object the walk still echoes; the verbs have nothing to run on.
  int tokens = walkArguments(helper.get(), arguments);
  if (helper && tokens >= 2) helper->run();
  helper.reset();
  return 0;
}

}  // namespace ostrakel
