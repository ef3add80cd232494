// Stand-ins for the service tests: the test process as the peer of a
// request, a scripted authority, and a recorder of replies.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "Helper/Helper4Ostrakel.h"
#include "platform/Authorization.h"
#include "platform/RemotePeer.h"

namespace ostrakel::testkit {

inline remote::PeerCredentials selfAsPeer() {
  return remote::PeerCredentials{::getpid(), ::geteuid(), ::getegid(), {}, remote::processStartTime(::getpid()), nullptr};
}

// Answers every rights check with `status` and records what was asked.
class ScriptedAuthority {
public:
  explicit ScriptedAuthority(int32_t status) : status_(status) {
    authorization::setRightsCheckerForTesting(
        [this](const authorization::Reference& reference, const std::string& right, const std::string& prompt) {
          asked.push_back({reference.pid, right, prompt});
          return status_;
        });
  }
  ~ScriptedAuthority() { authorization::setRightsCheckerForTesting(nullptr); }
  struct Question {
    pid_t pid;
    std::string right;
    std::string prompt;
  };
  std::vector<Question> asked;

private:
  int32_t status_;
};

struct ReplyRecorder {
  struct Entry {
    std::string message;
    ErrorRef error;
  };
  std::vector<Entry> replies;
  ReplyBlock block() {
    return [this](const std::string& message, const ErrorRef& error) { replies.push_back({message, error}); };
  }
};

}  // namespace ostrakel::testkit
