#include "platform/FileSystemCredentials.h"

#include "platform/SafeLookup.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace ostrakel {

namespace {

// The scope in force on this thread, if any.
thread_local FileSystemCredentialsScope* activeScope = nullptr;

// Raw system calls: they change the calling thread only, where glibc's
// wrappers would change every thread of the process.
#if defined(SYS_setfsuid32)
constexpr long kSetFsuid = SYS_setfsuid32, kSetFsgid = SYS_setfsgid32, kSetGroups = SYS_setgroups32,
               kGetGroups = SYS_getgroups32;
#else
constexpr long kSetFsuid = SYS_setfsuid, kSetFsgid = SYS_setfsgid, kSetGroups = SYS_setgroups,
               kGetGroups = SYS_getgroups;
#endif

uid_t setFsuid(uid_t uid) { return static_cast<uid_t>(::syscall(kSetFsuid, uid)); }
gid_t setFsgid(gid_t gid) { return static_cast<gid_t>(::syscall(kSetFsgid, gid)); }
bool setThreadGroups(const std::vector<gid_t>& groups) {
  return ::syscall(kSetGroups, groups.size(), groups.data()) == 0;
}
std::vector<gid_t> threadGroups() {
  long count = ::syscall(kGetGroups, 0, nullptr);
  std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
  if (count > 0) {
    long read = ::syscall(kGetGroups, groups.size(), groups.data());
    groups.resize(read > 0 ? static_cast<size_t>(read) : 0);
  }
  return groups;
}

}  // namespace

FileSystemCredentialsScope::FileSystemCredentialsScope(const remote::PeerCredentials* peer) {
  if (!peer || peer->uid == 0 || ::geteuid() != 0) return;
  savedGroups_ = threadGroups();
  std::vector<gid_t> groups = peer->groups;
  if (groups.empty()) groups.push_back(peer->gid);
  if (!setThreadGroups(groups))
    throw std::runtime_error("cannot take on the caller's groups");
  savedFsgid_ = setFsgid(peer->gid);
  savedFsuid_ = setFsuid(peer->uid);
  // setfsuid reports no failure; asking again shows what is in force.
  if (setFsuid(peer->uid) != peer->uid) {
    setFsuid(savedFsuid_);
    setFsgid(savedFsgid_);
    setThreadGroups(savedGroups_);
    throw std::runtime_error("cannot take on the caller's file-system identity");
  }
  active_ = true;
  activeScope = this;
  safelookup::rightsChanged();
}

FileSystemCredentialsScope::~FileSystemCredentialsScope() {
  if (!active_) return;
  activeScope = nullptr;
  setFsuid(savedFsuid_);
  setFsgid(savedFsgid_);
  setThreadGroups(savedGroups_);
  safelookup::rightsChanged();
}

void FileSystemCredentialsScope::noteFailedLookup(const std::string& path, int err) {
  if (!activeScope || activeScope->refusal_ || (err != EACCES && err != EPERM)) return;
  activeScope->refusal_ = posixError(err, path);
}

}  // namespace ostrakel
