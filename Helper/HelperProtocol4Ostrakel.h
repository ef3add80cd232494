// The remote interface as exported on a connection: decodes each request
// dictionary into a call on the one shared helper object.
#pragma once

#include <memory>
#include <string>

#include "Helper/Helper4Ostrakel.h"
#include "platform/RemoteListener.h"

namespace ostrakel {

// The request names, as the interface declares them.
namespace requestnames {
inline constexpr const char* kGetVersion = "getVersionWithAuthorization:replyBlock:";
inline constexpr const char* kReset = "resetWithAuthorization:replyBlock:";
inline constexpr const char* kFixBridges = "fixBridgesWithAuthorization:replyBlock:";
inline constexpr const char* kFixContext = "fixContextWithAuthorization:replyBlock:";
inline constexpr const char* kCopyLaunchdInformation = "copyLaunchdInformation:withAuthorization:replyBlock:";
inline constexpr const char* kFixVelmarmgr = "fix_velmarmgr_ForName:withAuthorization:replyBlock:";
inline constexpr const char* kActivateBridge =
    "activateBridgeAtURL:architectureSource:withAuthorization:replyBlock:";
}  // namespace requestnames

class HelperProtocol4Ostrakel : public RemoteObject {
public:
  explicit HelperProtocol4Ostrakel(std::shared_ptr<Helper4Ostrakel> helper) : helper_(std::move(helper)) {}
  bool deliverRequest(const remote::Request& request, RemoteReplyBlock reply, std::string& why) override;

private:
  std::shared_ptr<Helper4Ostrakel> helper_;
};

}  // namespace ostrakel
