// What the helper service and its clients agree on: the service name, the
// request names of the remote interface, and the keys of the one dictionary
// argument that describes a distribution to add. Header only, so that the
// clients need nothing of the helper's internals.
#pragma once

#include <string>

namespace ostrakel {

// The service's name, from which its socket, its polkit actions, the names
// the command shows, its log ident, its job label and its text domain are
// derived.
inline constexpr const char* kServiceName = "brennick.Helper";

// The polkit action that guards the state-changing action `action`:
// "brennick.Helper.admin.ACTION". Taking away a bundle that adding made needs
// the right that made it.
inline std::string rightNameForAction(const std::string& action) {
  return std::string(kServiceName) + ".admin." + (action == "remove_distribution" ? "add_distribution" : action);
}

// The request names, as the interface declares them.
namespace requestnames {
inline constexpr const char* kGetVersion = "getVersionWithAuthorization:replyBlock:";
inline constexpr const char* kReset = "resetWithAuthorization:replyBlock:";
inline constexpr const char* kFixBridges = "fixBridgesWithAuthorization:replyBlock:";
inline constexpr const char* kFixContext = "fixContextWithAuthorization:replyBlock:";
inline constexpr const char* kCopyLaunchdInformation = "copyLaunchdInformation:withAuthorization:replyBlock:";
inline constexpr const char* kFixVelmarmgr = "fix_velmarmgr_ForName:withAuthorization:replyBlock:";
inline constexpr const char* kActivateBridge = "activateBridgeAtURL:architectureSource:withAuthorization:replyBlock:";
// Wrapping an existing TeX installation as a bundle in the distributions
// folder, and taking such a bundle away again; both under the right
// "brennick.Helper.admin.add_distribution".
inline constexpr const char* kAddDistribution = "addDistribution:withAuthorization:replyBlock:";
inline constexpr const char* kRemoveDistribution = "removeDistributionAtURL:withAuthorization:replyBlock:";
}  // namespace requestnames

// The dictionary of kAddDistribution.
namespace distributionkeys {
inline constexpr const char* kBundle = "Bundle";              // file URL of the bundle to make
inline constexpr const char* kInstallation = "Installation";  // file URL of the wrapped installation
// An array of [binary set name, file URL of its folder of programs] pairs,
// most preferred first.
inline constexpr const char* kPrograms = "Programs";
}  // namespace distributionkeys

}  // namespace ostrakel
