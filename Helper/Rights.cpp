// The rights table and the authorization check of one action.
#include <map>

#include "Helper/Helper4Ostrakel.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "Protocol/HelperRequests.h"
#include "platform/Authorization.h"
#include "platform/Format.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

struct Helper4Ostrakel::AuthorizationRef {
  authorization::Reference reference;
};

namespace {

// The status the authorization service gives for malformed parameters.
constexpr int64_t kParameterError = -50;

std::map<std::string, ActionStrings> rightsTable(const std::string& home) {
  return {
      {"reset",
       {"Reset",
        "Reset: remove /usr/texbin soft link, /Library/TeX/Distributions/.DefaultTeX/ and "
        "/Library/TeX/Distributions/Programs/ directories.",
        errorcode::kRemoveDefaultTeXFailed}},
      {"fix_texbins", {"Fix texbins", "Repair various texbin soft links.", errorcode::kFixTexbinsFailed}},
      {"create_texbin",
       {"Fix texbin",
        "Repair: soft link /usr/texbin to ../Library/TeX/Distributions/.DefaultTeX/Contents/Programs/texbin.",
        errorcode::kLinkUsrTexbinFailed}},
      {"create_Programs_texbin",
       {"Fix Programs texbin",
        "Repair: soft link /Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin.",
        errorcode::kLinkProgramsTexbinFailed}},
      {"create_my_Programs_texbin",
       {"Fix my Programs texbin",
        formatString("Repair: soft link %@/Library/TeX/Distributions/Programs/texbin to "
                     "../.DefaultTeX/Contents/Programs/texbin.",
                     {home}),
        errorcode::kLinkUserProgramsTexbinFailed}},
      {"create_default_tex",
       {"Fix .DefaultTeX", "Repair: create directory /Library/TeX/Distributions/.DefaultTeX.",
        errorcode::kCreateDefaultTeXFolderFailed}},
      {"create_my_default_tex",
       {"Fix my .DefaultTeX",
        formatString("Repair: create directory %@/Library/TeX/Distributions/.DefaultTeX.", {home}),
        errorcode::kCreateUserDefaultTeXFolderFailed}},
      {"create_velmarmgr",
       {"Fix velmarmgr", "Repair: create symlink /Library/TeX/Distributions/velmarmgr",
        errorcode::kInstallManagerFailed}},
      {"create_user_velmarmgr",
       {"Fix velmarmgr", "Repair: create symlink ~/Library/TeX/Distributions/velmarmgr",
        errorcode::kInstallUserManagerFailed}},
      {"fix_bridges", {"Fix distributions", "Fix distributions proxies.", errorcode::kFixBridgesFailed}},
      {"fix_context", {"Fix context", "Repair: fix context.", errorcode::kFixContextFailed}},
      {"copy_launchd_information",
       {"Copy launchd information", "Repair: copy launchd information.", errorcode::kCopyLaunchdInformationFailed}},
      {"activate_distribution", {"Activate distribution", "Activating a distribution.", errorcode::kActivateFailed}},
      {"add_distribution",
       {"Add distribution",
        "Add a distribution: make a bundle in /Library/TeX/Distributions that links to an installed TeX.",
        errorcode::kAddDistributionFailed}},
      {"remove_distribution",
       {"Remove distribution",
        "Remove a distribution bundle that was made from an installed TeX; the installation stays.",
        errorcode::kRemoveDistributionFailed}},
  };
}

}  // namespace

ActionStrings Helper4Ostrakel::stringsForName(const std::string& name) {
  // Made once; only the prompts that name the caller's home folder are made
  // again on each ask.
  static const std::map<std::string, ActionStrings> table = rightsTable(std::string());
  auto found = table.find(name);
  if (found == table.end()) return {name, formatString("For command %@.", {name}), 1};
  if (name == "create_my_Programs_texbin" || name == "create_my_default_tex")
    return rightsTable(processinfo::homeDirectory()).at(name);
  return found->second;
}

std::shared_ptr<Helper4Ostrakel::AuthorizationRef> Helper4Ostrakel::authorizationWithExternalData(
    const AuthorizationData& data, ErrorSlot slot) {
  if (!data || data->size() != authorization::kExternalFormLength) {
    storeFirstError(slot, errorWithCode(kNSOSStatusErrorDomain, kParameterError));
    return nullptr;
  }
  std::shared_ptr<authorization::Reference> reference;
  int32_t status = authorization::createFromExternalForm(*data, reference);
  if (status != authorization::kSuccess || !reference) {
    storeFirstError(slot, errorWithCode(kNSCocoaErrorDomain, status != 0 ? status : authorization::kInvalidRef));
    return nullptr;
  }
  return std::make_shared<AuthorizationRef>(AuthorizationRef{*reference});
}

bool Helper4Ostrakel::checkAuthorization(const AuthorizationData& data, const std::string& name,
                                         ErrorSlot slot) {
  return checkAuthorization(data, name, std::string(), slot);
}

bool Helper4Ostrakel::checkAuthorization(const AuthorizationData& data, const std::string& name,
                                         const std::string& details, ErrorSlot slot) {
  std::shared_ptr<AuthorizationRef> reference = authorizationWithExternalData(data, slot);
  if (!reference) return false;
  std::string prompt = stringsForName(name).prompt;
  if (!details.empty()) prompt += " " + details;
  const std::string right = rightNameForAction(name);
  authorization::Failure failure;
  int32_t status = authorization::copyRights(reference->reference, right, prompt, kServiceName, &failure);
  if (status == authorization::kSuccess) return true;
  ErrorRef cause;
  if (!failure.text.empty()) {
    // polkit's own words say whether it is missing or lacks the policy.
    Logger4Ostrakel::logWithLevel(3, "Authorization of %@ failed: %@: %@", {right, failure.name, failure.text});
    UserInfo words;
    words.localizedDescription = failure.text;
    cause = makeError(failure.name, failure.code, std::move(words));
  }
  storeFirstError(slot, errorWithCode(kNSCocoaErrorDomain, status, std::move(cause)));
  return false;
}

}  // namespace ostrakel
