#include "Library/Common/Errors.h"

#include <cstring>

#include "Library/Common/ErrorCodes.h"
#include "Protocol/HelperRequests.h"
#include "platform/Authorization.h"
#include "platform/Format.h"
#include "platform/Localization.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

using namespace errorcode;

namespace {

// The messages of the program's own codes from 0 to 999. The two per-user
// messages (703, 705) carry the home folder and are built separately.
const char* ownMessage(int64_t code) {
  switch (code) {
    case kNoError: return "No error found";
    case kUnknown: return "Unknown error";
    case kInvalidCodeSignature: return "Invalid code signature";
    case kNoHelper: return "No Helper available";
    case kSecurityCheckFailed: return "Security check failed";
    case kHelperNotExecutable: return "Inconsistency: helper is not executable";
    case kNoAuthorisation: return "No authorisation";
    case kNoDefaultDistributions: return "No default distributions";
    case kNoDefaultTeXFolder: return "No .DefaultTeX directory";
    case kCreateDefaultTeXFailed: return "Failed to create .DefaultTeX directory";
    case kRemoveDefaultTeXFailed: return "Failed to remove .DefaultTeX soft link and .DefaultTeX directory";
    case kNoDefaultTeXContentsLink: return "No .DefaultTeX/Contents soft link";
    case kNoActiveDistribution: return "No active distribution";
    case kWrongBinaries: return "Wrong set of binaries";
    case kNoSuchArchitecture: return "No distribution with the given architecture";
    case kCannotActivate: return "Cannot activate the distribution";
    case kUpdateTexbinFailed: return "Failed to update /usr/texbin";
    case kNoAuthorizationData: return "Internal problem: No NSData from authorization external form";
    case kBadSecurityRequirement: return "Inconsistency: bad security requirement info-plist";
    case kBadHelperIdentifier: return "Inconsistency: bad helper tool identifier";
    case kOneHelperOnly: return "Inconsistency: exactly one helper tool is supported";
    case kUninstallByHand: return "Please uninstall the helper by hand before installing";
    case kInstallationFailed: return "Installation failed, process by hand";
    case kUninstallationFailed: return "Uninstallation failed, process by hand";
    case kCreateRightsFailed: return "Failed to create authorization rights";
    case kRemoveRightsFailed: return "Failed to remove authorization rights";
    case kNoLaunchdPlist: return "Inconsistency: No launchd-plist available";
    case kNoInfoPlist: return "Inconsistency: No info-plist available";
    case kNoSecurityRequirement: return "Critical, can't create security requirement";
    case kNoExecutable: return "Critical: no executable";
    case kNoStaticCode: return "Critical: no static code";
    case kNoSigningInformation: return "No signing information available";
    case kCommandFailed: return "Command failed";
    case kFixTexbinsFailed: return "Failed to setup various texbin soft links";
    case kLinkUsrTexbinFailed:
      return "Failed to link /usr/texbin to ../Library/TeX/Distributions/.DefaultTeX/Contents/Programs/texbin";
    case kLinkProgramsTexbinFailed:
      return "Failed to link /Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin";
    case kCreateDefaultTeXFolderFailed: return "Failed to create directory at /Library/TeX/Ditributions/.DefaultTeX";
    case kInstallManagerFailed: return "Failed to install the velmarmgr";
    case kInstallUserManagerFailed: return "Failed to install the velmarmgr in the user domain";
    case kFixBridgesFailed: return "Failed to fix distribution proxies";
    case kFixContextFailed: return "Failed to fix /usr/texbin and /Library/TeX/Ditributions/.DefaultTeX";
    case kActivateFailed: return "Failed to activate a distibution";
    case kBadDistributionName: return "Bad distribution name";
    case kBadVersionString: return "Bad version string";
    case kAddDistributionFailed: return "Failed to add a distribution";
    case kRemoveDistributionFailed: return "Failed to remove a distribution";
    case kDistributionExists: return "A distribution with this name exists already";
    case kNotWrapped: return "Not a distribution made from an installation";
    case kDistributionActive: return "The active distribution cannot be removed";
    case kForeignItems: return "The distribution holds items that were not made when it was added";
    default: return nullptr;
  }
}

// The published result codes of the authorization service.
const char* authorizationMessage(int64_t code) {
  using namespace authorization;
  switch (code) {
    case kInvalidSet: return "The authorization rights are invalid";
    case kInvalidRef: return "The authorization reference is invalid";
    case kInvalidTag: return "The authorization tag is invalid";
    case kInvalidPointer: return "The returned authorization is invalid";
    case kDenied: return "The authorization was denied";
    case kCanceled: return "The authorization was cancelled by the user";
    case kInteractionNotAllowed: return "The authorization was denied since no user interaction was possible";
    case kInternal: return "Unable to obtain authorization for this operation";
    case kExternalizeNotAllowed: return "The authorization is not allowed to be converted to an external format";
    case kInternalizeNotAllowed: return "The authorization is not allowed to be created from an internal format";
    case kInvalidFlags: return "The provided option flag(s) are invalid for this authorization operation";
    case kToolExecuteFailure: return "The specified program could not be executed";
    case kToolEnvironmentError: return "An invalid status was returned during execution of a privileged tool";
    case kBadAddress: return "The requested socket address is invalid (must be 0-1023 inclusive)";
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
    if (code == kTooManyErrors) return "Too many errors";
  } else if (code < 0) {
    if (const char* message = authorizationMessage(code)) return message;
  } else {
    if (code == kLinkUserProgramsTexbinFailed)
      return formatString(
          "Failed to link %@/Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin",
          {processinfo::homeDirectory()});
    if (code == kCreateUserDefaultTeXFolderFailed)
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

std::string localizedString4Ostrakel(const std::string& text) { return localizedString(kServiceName, text); }

}  // namespace ostrakel
