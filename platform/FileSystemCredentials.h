// Runs file-system work of the calling thread with a peer's credentials: its
// fsuid, fsgid and supplementary groups, so the service does for a caller
// only what the caller could do itself. Other threads keep their credentials.
#pragma once

#include <sys/types.h>

#include <vector>

#include "platform/Error.h"
#include "platform/RemotePeer.h"

namespace ostrakel {

class FileSystemCredentialsScope {
public:
  // No change for no peer, for a root peer, or when the service itself does
  // not run as root (it could not switch, and has no rights to lend).
  explicit FileSystemCredentialsScope(const remote::PeerCredentials* peer);
  ~FileSystemCredentialsScope();
  FileSystemCredentialsScope(const FileSystemCredentialsScope&) = delete;
  FileSystemCredentialsScope& operator=(const FileSystemCredentialsScope&) = delete;

  // Whether the thread now runs with the peer's credentials.
  bool active() const { return active_; }

  // The first lookup the peer's rights were refused (EACCES or EPERM) while
  // this scope was active, or none. What the caller could not even look at
  // was not found to be in order: the work is not done on its behalf.
  const ErrorRef& refusal() const { return refusal_; }
  // Called by the file manager for a lookup that failed with `err`; counts
  // only on a thread inside an active scope.
  static void noteFailedLookup(const std::string& path, int err);

private:
  bool active_ = false;
  ErrorRef refusal_;
  uid_t savedFsuid_ = 0;
  gid_t savedFsgid_ = 0;
  std::vector<gid_t> savedGroups_;
};

}  // namespace ostrakel
