// The one helper object of the process: the command-line verbs, the listener
// for the service role, and the request service shared by every connection.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/FileURL.h"
#include "platform/PropertyList.h"
#include "Protocol/HelperRequests.h"

namespace ostrakel {

class Listener;       // platform/RemoteListener.h
class Connection;     // platform/RemoteListener.h

inline constexpr long kBuildNumber = 271;
inline constexpr const char* kBuildNumberText = "271";

// Callbacks of the action machinery.
using ActionBlock = std::function<bool(ErrorSlot)>;
using SkipBlock = std::function<bool()>;
using ReplyBlock = std::function<void(const std::string& message, const ErrorRef& error)>;
using AuthorizationData = std::optional<std::string>;  // bytes; none when absent

// One action's description from the rights table.
struct ActionStrings {
  std::string message;
  std::string prompt;
  int64_t error;
};

class Helper4Ostrakel : public std::enable_shared_from_this<Helper4Ostrakel> {
public:
  // init: logs "Setting up the listener" and creates the listener, not started.
  static std::shared_ptr<Helper4Ostrakel> init();
  // Starts the listener and runs the main thread's event loop; never returns.
  [[noreturn]] void run();

  std::shared_ptr<Listener> listener() const;
  void setListener(std::shared_ptr<Listener> listener);

  // Command-line verbs.
  void list();
  void listLong();
  void active();
  void activateBridgeWithName(const std::string& name, const std::string& source);

  // Connection acceptance (the listener's delegate callback).
  bool shouldAcceptNewConnection(Connection& connection);

  // Authorization rights and checks.
  static ActionStrings stringsForName(const std::string& name);
  struct AuthorizationRef;  // platform reference, released after one check
  static std::shared_ptr<AuthorizationRef> authorizationWithExternalData(const AuthorizationData& data,
                                                                         ErrorSlot slot);
  static bool checkAuthorization(const AuthorizationData& data, const std::string& name, ErrorSlot slot);

  // Action execution.
  // `target` names what the request changes, for the log line of its outcome.
  void executeActionWithName(const std::string& name, const AuthorizationData& authorization,
                             ActionBlock actionBlock, SkipBlock skipBlock, ReplyBlock replyBlock,
                             const std::string& target = {});

  // The remote interface.
  void getVersionWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply);
  void resetWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply);
  void fixBridgesWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply);
  void fixContextWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply);
  void copyLaunchdInformation(const PlistRef& dictionary, const AuthorizationData& authorization,
                              ReplyBlock reply);
  void fix_velmarmgr_ForName(const std::string& name, const AuthorizationData& authorization,
                             ReplyBlock reply);
  void activateBridgeAtURL(const std::optional<FileURL>& url, const std::optional<std::string>& source,
                           const AuthorizationData& authorization, ReplyBlock reply);
  // Wrapping an installed TeX as a bundle of the distributions folder, and
  // taking such a bundle away; `description` holds the keys of
  // distributionkeys (file URLs for the paths).
  void addDistribution(const PlistRef& description, const AuthorizationData& authorization, ReplyBlock reply);
  void removeDistributionAtURL(const std::optional<FileURL>& url, const AuthorizationData& authorization,
                               ReplyBlock reply);

private:
  mutable std::mutex listenerMutex_;
  std::shared_ptr<Listener> listener_;
};

// The entry point's work: start sequence and argument walk. Returns the exit
// status (0) unless the service starts.
int helperMain(int argc, char** argv);

}  // namespace ostrakel
