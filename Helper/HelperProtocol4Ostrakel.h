// The remote interface as exported on a connection: decodes each request
// dictionary into a call on the one shared helper object.
#pragma once

#include <memory>
#include <string>

#include "Helper/Helper4Ostrakel.h"
#include "Protocol/HelperRequests.h"
#include "platform/RemoteListener.h"

namespace ostrakel {

class HelperProtocol4Ostrakel : public RemoteObject {
public:
  explicit HelperProtocol4Ostrakel(std::shared_ptr<Helper4Ostrakel> helper) : helper_(std::move(helper)) {}
  bool deliverRequest(const remote::Request& request, RemoteReplyBlock reply, std::string& why) override;

private:
  std::shared_ptr<Helper4Ostrakel> helper_;
};

}  // namespace ostrakel
