// The seven requests of the remote interface.
#include "Helper/Helper4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

void Helper4Ostrakel::getVersionWithAuthorization(const AuthorizationData&, ReplyBlock reply) {
  mainqueue::post([reply] {
    const std::vector<std::string>& arguments = processinfo::arguments();
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
      if (arguments[i] == "--version") {
        Logger4Ostrakel::logWithLevel(6, "Version: %@", {arguments[i + 1]});
        reply(arguments[i + 1], nullptr);
        return;
      }
    }
    Logger4Ostrakel::logWithLevel(6, std::string("Version: None"));
    reply("0", nullptr);
  });
}

void Helper4Ostrakel::resetWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "reset", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::resetOrReturnError(slot); },
      [] { return Tools4Ostrakel::isResetOK(); }, std::move(reply));
}

void Helper4Ostrakel::fixBridgesWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "fix_bridges", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::fixBridgesOrReturnError(slot); },
      [] { return Tools4Ostrakel::areBridgesOK(); }, std::move(reply));
}

void Helper4Ostrakel::fixContextWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "fix_context", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::fixContextOrReturnError(slot); },
      [] { return Tools4Ostrakel::isContextOK(); }, std::move(reply));
}

void Helper4Ostrakel::copyLaunchdInformation(const PlistRef& dictionary, const AuthorizationData& authorization,
                                             ReplyBlock reply) {
  // Never skipped: the job description is written on every request.
  executeActionWithName(
      "copy_launchd_information", authorization,
      [dictionary](ErrorSlot slot) { return Tools4Ostrakel::copyLaunchdInformation(dictionary, slot); },
      [] { return false; }, std::move(reply));
}

void Helper4Ostrakel::fix_velmarmgr_ForName(const std::string& name, const AuthorizationData& authorization,
                                            ReplyBlock reply) {
  executeActionWithName(
      "create_velmarmgr", authorization,
      [name](ErrorSlot slot) { return Tools4Ostrakel::fix_velmarmgr_ForName(name, slot); },
      [name] { return Tools4Ostrakel::is_velmarmgr_OKForName(name); }, std::move(reply));
}

void Helper4Ostrakel::activateBridgeAtURL(const std::optional<FileURL>& url, const std::optional<std::string>& source,
                                          const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "activate_distribution", authorization,
      [url, source](ErrorSlot slot) { return Tools4Ostrakel::activateBridgeAtURL(url, source, slot); },
      [url, source] { return Tools4Ostrakel::isActiveBridgeAtURL(url, source); }, std::move(reply));
}

}  // namespace ostrakel
