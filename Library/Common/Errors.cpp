#include "Library/Common/Errors.h"

#include <cstring>

#include "platform/Format.h"
#include "platform/Localization.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

namespace {

// The messages of the program's own codes from 0 to 999. The two per-user
// messages (703, 705) carry the home folder and are built separately.
const char* ownMessage(int64_t code) {
  switch (code) {
    case 0: return "No error found";
    case 1: return "Unknown error";
    case 10: return "Invalid code signature";
    case 100: return "No Helper available";
    case 101: return "Security check failed";
    case 102: return "Inconsistency: helper is not executable";
    case 103: return "No authorisation";
    case 104: return "No default distributions";
    case 105: return "No .DefaultTeX directory";
    case 106: return "Failed to create .DefaultTeX directory";
    case 107: return "Failed to remove .DefaultTeX soft link and .DefaultTeX directory";
    case 108: return "No .DefaultTeX/Contents soft link";
    case 109: return "No active distribution";
    case 110: return "Wrong set of binaries";
    case 111: return "No distribution with the given architecture";
    case 112: return "Cannot activate the distribution";
    case 500: return "Failed to update /usr/texbin";
    case 600: return "Internal problem: No NSData from authorization external form";
    case 601: return "Inconsistency: bad security requirement info-plist";
    case 602: return "Inconsistency: bad helper tool identifier";
    case 603: return "Inconsistency: exactly one helper tool is supported";
    case 604: return "Please uninstall the helper by hand before installing";
    case 605: return "Installation failed, process by hand";
    case 606: return "Uninstallation failed, process by hand";
    case 607: return "Failed to create authorization rights";
    case 608: return "Failed to remove authorization rights";
    case 609: return "Inconsistency: No launchd-plist available";
    case 610: return "Inconsistency: No info-plist available";
    case 611: return "Critical, can't create security requirement";
    case 612: return "Critical: no executable";
    case 613: return "Critical: no static code";
    case 614: return "No signing information available";
    case 615: return "Command failed";
    case 700: return "Failed to setup various texbin soft links";
    case 701:
      return "Failed to link /usr/texbin to ../Library/TeX/Distributions/.DefaultTeX/Contents/Programs/texbin";
    case 702:
      return "Failed to link /Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin";
    case 704: return "Failed to create directory at /Library/TeX/Ditributions/.DefaultTeX";
    case 706: return "Failed to install the velmarmgr";
    case 707: return "Failed to install the velmarmgr in the user domain";
    case 708: return "Failed to fix distribution proxies";
    case 709: return "Failed to fix /usr/texbin and /Library/TeX/Ditributions/.DefaultTeX";
    case 710: return "Failed to activate a distibution";
    case 711: return "Bad distribution name";
    case 712: return "Bad version string";
    case 713: return "Failed to add a distribution";
    case 714: return "Failed to remove a distribution";
    case 715: return "A distribution with this name exists already";
    case 716: return "Not a distribution made from an installation";
    case 717: return "The active distribution cannot be removed";
    case 718: return "The distribution holds items that were not made when it was added";
    default: return nullptr;
  }
}

// The published result codes of the authorization service.
const char* authorizationMessage(int64_t code) {
  switch (code) {
    case -60001: return "The authorization rights are invalid";
    case -60002: return "The authorization reference is invalid";
    case -60003: return "The authorization tag is invalid";
    case -60004: return "The returned authorization is invalid";
    case -60005: return "The authorization was denied";
    case -60006: return "The authorization was cancelled by the user";
    case -60007: return "The authorization was denied since no user interaction was possible";
    case -60008: return "Unable to obtain authorization for this operation";
    case -60009: return "The authorization is not allowed to be converted to an external format";
    case -60010: return "The authorization is not allowed to be created from an internal format";
    case -60011: return "The provided option flag(s) are invalid for this authorization operation";
    case -60031: return "The specified program could not be executed";
    case -60032: return "An invalid status was returned during execution of a privileged tool";
    case -60033: return "The requested socket address is invalid (must be 0-1023 inclusive)";
    default: return nullptr;
  }
}

// The C library's text for the code, truncated to its low 32 bits. The
// reentrant form keeps concurrent requests from sharing one static buffer.
std::string fallbackMessage(int64_t code) {
  const int number = static_cast<int32_t>(static_cast<uint32_t>(code));
  char buffer[256];
  return std::string(strerror_r(number, buffer, sizeof buffer));
}

}  // namespace

std::string errorMessage4Ostrakel(int64_t code) {
  if (code > 999) {
    if (code == 1000) return "Too many errors";
  } else if (code < 0) {
    if (const char* message = authorizationMessage(code)) return message;
  } else {
    if (code == 703)
      return formatString(
          "Failed to link %@/Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin",
          {processinfo::homeDirectory()});
    if (code == 705)
      return formatString("Failed to create directory at %@/Library/TeX/Ditributions/.DefaultTeX",
                          {processinfo::homeDirectory()});
    if (const char* message = ownMessage(code)) return message;
  }
  return fallbackMessage(code);
}

std::string localizedErrorMessage4Ostrakel(int64_t code) {
  return localizedString4Ostrakel(errorMessage4Ostrakel(code));
}

ErrorRef errorWithOstrakelCode(int64_t code) { return errorWithCode(kOstrakelErrorDomain, code); }

ErrorRef errorWithCode(const std::string& domain, int64_t code, ErrorRef underlying,
                       std::optional<std::string> url) {
  UserInfo info;
  info.localizedDescription = localizedErrorMessage4Ostrakel(code);
  info.underlying = std::move(underlying);
  info.url = std::move(url);
  return makeError(domain, code, std::move(info));
}

std::string localizedString4Ostrakel(const std::string& text) { return localizedString(text); }

}  // namespace ostrakel
