// `ostrakel use`, `repair` and `reset`: the changes to the chain of links,
// all made by the service.
#include <unistd.h>

#include <iostream>

#include "Client/ostrakel/Catalog.h"
#include "Client/ostrakel/Service.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "Protocol/HelperRequests.h"
#include "platform/FileSystem.h"

namespace ostrakel::cli {

namespace {

std::string shownText(const std::optional<std::string>& text) {
  return text ? printable(*text) : std::string("(nothing)");
}

// The chain above .DefaultTeX is missing or broken, and repairing it would
// not replace a real /usr/texbin folder someone made by hand.
bool chainNeedsRepair() {
  if (Tools4Ostrakel::are_texbins_OK()) return false;
  FileSystem& fm = fileManager();
  bool isDirectory = false;
  const std::string usr = Tools4Ostrakel::usr_texbin_Path();
  return fm.destinationOfSymbolicLink(usr, nullptr) || !fileExistsAtPath(fm, usr, &isDirectory, false);
}

}  // namespace

int runUse(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("use", arguments, {"--dry-run"}, {}, 1, 2);
  const std::string which = parsed.operands[0];
  const std::string requested = parsed.operands.size() > 1 ? parsed.operands[1] : std::string();
  BridgeRef bridge = chooseDistribution(readCatalog(), which, requested, "use");
  const std::string name = quoted(bridge->displayName());
  std::string source = requested;
  if (source.empty()) {
    ArchitectureRef preferred = bridge->defaultArchitecture();
    if (!preferred) throw WorkFailed{"The distribution " + name + " offers no binary set this machine can run."};
    source = preferred->source();
  }
  if (!bridge->architectureWithSource(source))
    throw WorkFailed{"The distribution " + name + " has no binary set " + quoted(source) + "; it offers " +
                     setList(bridge) + ". Name one of them, or leave ARCH out."};

  FileSystem& fm = fileManager();
  const std::string contentsPath = Tools4Ostrakel::LTD_DefaultTeX_Contents_Path();
  const std::string contentsText = bridge->LTD_DefaultTeX_Contents_Destination();
  const std::string ownPath = Programs_texbin_Path4Ostrakel(bridge->fileURL());
  if (parsed.has("--dry-run")) {
    int changes = 0;
    for (const auto& [path, text] : {std::pair{contentsPath, contentsText}, std::pair{ownPath, source}}) {
      std::optional<std::string> now = fm.destinationOfSymbolicLink(path, nullptr);
      if (now == text) continue;
      std::cout << printable(path) << ": " << shownText(now) << " -> " << printable(text) << "\n";
      ++changes;
    }
    if (!changes)
      std::cout << "Nothing would change: " << name << " with " << printable(source) << " is active already.\n";
    if (chainNeedsRepair())
      std::cout << "The links from /usr/texbin would then be repaired (as by \"ostrakel repair\").\n";
    return kSuccess;
  }

  const std::string doing = "make " + name + " (" + printable(source) + ") the active distribution";
  ServiceAnswer answer =
      askService(requestnames::kActivateBridge,
                 {PlistValue::string(bridge->fileURL().absoluteString()), PlistValue::string(source)}, doing,
                 "activate_distribution");
  if (answer.skipped)
    std::cout << name << " with the binary set " << printable(source) << " was active already.\n";
  else
    std::cout << name << " with the binary set " << printable(source) << " is now the active distribution.\n";
  if (chainNeedsRepair()) {
    askService(requestnames::kFixContext, {}, "repair the links from /usr/texbin", "fix_context");
    std::cout << "Repaired the links from /usr/texbin to it.\n";
  }
  return kSuccess;
}

int runRepair(Context&, const Arguments& arguments) {
  parseArguments("repair", arguments, {}, {}, 0, 0);
  ServiceAnswer answer =
      askService(requestnames::kFixContext, {}, "repair the links to the active distribution", "fix_context");
  std::cout << (answer.skipped ? "Nothing to repair: the links are sound.\n" : "Repaired the links.\n");
  return kSuccess;
}

int runReset(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("reset", arguments, {"--yes", "-y"}, {}, 0, 0);
  if (!parsed.has("--yes") && !parsed.has("-y") && ::isatty(STDIN_FILENO)) {
    std::cerr << "This removes /usr/texbin, /Library/TeX/Distributions/.DefaultTeX and the Programs texbin link:\n"
                 "no distribution will be active (the distributions themselves stay). Continue? [y/N] "
              << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") {
      std::cerr << "Nothing was changed.\n";
      return kWorkFailed;
    }
  }
  ServiceAnswer answer = askService(requestnames::kReset, {}, "reset the links", "reset");
  std::cout << (answer.skipped ? "Nothing to reset: no links were there.\n"
                               : "Removed the links: no distribution is active now.\n");
  return kSuccess;
}

}  // namespace ostrakel::cli
