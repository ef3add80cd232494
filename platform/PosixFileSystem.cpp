#include "platform/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/FileSystemCredentials.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/SafeLookup.h"
#include "platform/SystemRoot.h"
#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace ostrakel {

namespace {

// Files larger than this are not read into memory (property lists are small).
constexpr off_t kMaxReadSize = 64 * 1024 * 1024;

using FD = UniqueFd;

std::string relativeToRoot(const std::string& path) {
  size_t start = path.find_first_not_of('/');
  return start == std::string::npos ? std::string(".") : path.substr(start);
}

// A lookup the thread's rights were refused is noted for the request that
// lent them (see FileSystemCredentialsScope). Returns `fd`, errno kept.
int noted(int fd, const std::string& path) {
  if (fd < 0) {
    const int err = errno;
    FileSystemCredentialsScope::noteFailedLookup(path, err);
    errno = err;
  }
  return fd;
}

// `resolved`, when given, receives the resolved path inside the root when the
// lookup itself tells it (a safe lookup walks it); else it is left alone.
int openInRootUnnoted(const std::string& path, int flags, bool followFinal, bool linkMet,
                      std::string* resolved = nullptr) {
  // With root's rights no link that someone else controls is followed.
  if (safelookup::required())
    return safelookup::open(systemroot::rootDescriptor(), path, flags, followFinal, linkMet, resolved);
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC | (followFinal ? 0 : O_NOFOLLOW));
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  std::string rel = relativeToRoot(path);
  long fd = syscall(SYS_openat2, systemroot::rootDescriptor(), rel.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) {
    // Kernels without openat2: plain lookup on the host path.
    return open(systemroot::toHost(path.empty() ? "/" : path).c_str(),
                flags | O_CLOEXEC | (followFinal ? 0 : O_NOFOLLOW));
  }
  return static_cast<int>(fd);
}

// Opens `path` (inside the root) with resolution confined to the root.
// Returns -1 with errno set on failure.
// `linkMet`: a lookup of the same path without links failed with ELOOP.
int openInRoot(const std::string& path, int flags, bool followFinal, bool linkMet = false) {
  return noted(openInRootUnnoted(path, flags, followFinal, linkMet), path);
}

// A path with no ".." whose lookup meets no symbolic link is its own resolved
// path: opened that way, no readback of the resolved path is needed.
bool plainAbsolute(const std::string& path) {
  if (!path::isAbsolute(path)) return false;
  for (const std::string& part : path::components(path))
    if (part == "..") return false;
  return true;
}

// Opens `path` (inside the root) only if no component of it is a link; -1
// with errno ELOOP when one is. Safe for a thread with root's rights as well:
// a walk without links and without ".." has no step that could be unsafe
// (the safe lookup itself starts the same way).
int openInRootWithoutLinks(const std::string& path, int flags) {
  // A link already found on the way in this check: the answer is known.
  if (safelookup::crossesKnownLink(path)) {
    errno = ELOOP;
    return -1;
  }
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_SYMLINKS;
  std::string rel = relativeToRoot(path);
  return noted(static_cast<int>(syscall(SYS_openat2, systemroot::rootDescriptor(), rel.c_str(), &how, sizeof how)),
               path);
}

// Whether a failed openInRootWithoutLinks says all a full lookup would say
// (nothing there, no folder on the way, no access), with no link involved.
bool failsWithoutLinks(int err) { return err == ENOENT || err == ENOTDIR || err == EACCES; }

// The resolved path (inside the root) of an open descriptor; none when it
// cannot be read back or lies outside the root.
std::optional<std::string> resolvedPathOf(int fd) {
  char buffer[PATH_MAX + 1];
  std::string proc = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = readlink(proc.c_str(), buffer, PATH_MAX);
  std::string inside;
  if (n > 0 && systemroot::fromHost(std::string(buffer, static_cast<size_t>(n)), &inside)) return inside;
  return std::nullopt;
}

// openInRoot, following the final link, and the resolved path inside the
// root of what was opened: from the walk when there was one, else read back
// from the descriptor; none when it cannot be read back or lies outside the
// root.
int openResolved(const std::string& path, int flags, bool linkMet, std::optional<std::string>* resolved) {
  std::string walked;
  const int fd = noted(openInRootUnnoted(path, flags, true, linkMet, &walked), path);
  if (fd < 0) return fd;
  *resolved = walked.empty() ? resolvedPathOf(fd) : std::optional<std::string>(std::move(walked));
  return fd;
}

bool statInRoot(const std::string& path, bool followFinal, struct stat* st) {
  FD fd(openInRoot(path, O_PATH, followFinal));
  if (!fd.ok()) return false;
  return fstat(fd.get(), st) == 0;
}

// The parent folder of `path`, opened (links followed inside the root), and
// the final component's name. Fails for "/" and for names "." and "..".
bool openParent(const std::string& path, FD* parent, std::string* name) {
  std::string standard = path::standardize(path);
  if (!path::isAbsolute(standard) || standard == "/") {
    errno = EINVAL;
    return false;
  }
  *name = path::lastComponent(standard);
  // The parent is taken from the path as written, so that a link among the
  // parents is followed the way the kernel would follow it.
  std::string parentPath = path::deleteLastComponent(path);
  int fd = openInRoot(parentPath.empty() ? "/" : parentPath, O_PATH | O_DIRECTORY, true);
  if (fd < 0) return false;
  *parent = FD(fd);
  return true;
}

struct DirectoryCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirectoryStream = std::unique_ptr<DIR, DirectoryCloser>;

// A stream over the folder `fd`, which it then owns; none (the descriptor
// closed, errno kept) when it cannot be made.
DirectoryStream directoryStream(FD fd) {
  DIR* dir = fd.ok() ? fdopendir(fd.get()) : nullptr;
  if (!dir) {
    const int err = errno;
    fd.reset();
    errno = err;
    return nullptr;
  }
  fd.release();
  return DirectoryStream(dir);
}

bool fail(ErrorSlot slot, const std::string& path, int err = errno) {
  storeFirstError(slot, posixError(err, path));
  return false;
}

// For a link to `destination` to be made at `path`: its parent folder, opened,
// and its name. Fails for a destination no link can hold (empty, or with a
// NUL byte) as for a parent that cannot be opened.
bool openParentForLink(const std::string& path, const std::string& destination, FD* parent, std::string* name,
                       ErrorSlot slot) {
  if (destination.empty() || destination.find('\0') != std::string::npos) return fail(slot, path, EINVAL);
  if (!openParent(path, parent, name)) return fail(slot, path);
  return true;
}

// Removes everything inside the folder `dirfd`, then nothing else. A failure
// is reported for `path`, the item whose removal was asked for.
bool removeContents(int dirfd, int depth, const std::string& path, ErrorSlot slot) {
  if (depth > 512) return fail(slot, path, ELOOP);
  DirectoryStream dir = directoryStream(FD(openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!dir) return fail(slot, path);
  std::vector<std::pair<std::string, bool>> entries;
  while (struct dirent* entry = readdir(dir.get())) {
    std::string n = entry->d_name;
    if (n == "." || n == "..") continue;
    struct stat st;
    if (fstatat(dirfd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entries.emplace_back(n, S_ISDIR(st.st_mode));
  }
  dir.reset();
  for (const auto& [n, isDir] : entries) {
    if (isDir) {
      FD child(openat(dirfd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!child.ok()) return fail(slot, path);
      if (!removeContents(child.get(), depth + 1, path, slot)) return false;
      if (unlinkat(dirfd, n.c_str(), AT_REMOVEDIR) != 0) return fail(slot, path);
    } else if (unlinkat(dirfd, n.c_str(), 0) != 0) {
      return fail(slot, path);
    }
  }
  return true;
}

// Removes the item `name` in `parent` (a folder with all its contents); a
// failure is reported for `path`.
bool removeAt(int parent, const std::string& name, const std::string& path, ErrorSlot slot) {
  struct stat st;
  if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fail(slot, path);
  if (S_ISDIR(st.st_mode)) {
    FD dir(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.ok()) return fail(slot, path);
    if (!removeContents(dir.get(), 0, path, slot)) return false;
    if (unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) return fail(slot, path);
    return true;
  }
  if (unlinkat(parent, name.c_str(), 0) != 0) return fail(slot, path);
  return true;
}

constexpr const char* kTemporaryMark = ".ostrakel-";

std::string temporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, ".%.40s%s%d-%u", name.c_str(), kTemporaryMark,
                static_cast<int>(getpid()), counter.fetch_add(1));
  return buffer;
}

bool allDigits(const std::string& text, size_t from, size_t to) {
  if (from >= to || to - from > 10) return false;
  for (size_t i = from; i < to; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// The process that made the temporary name `entry`; 0 when the name is none
// of temporaryName's.
pid_t temporaryMaker(const std::string& entry) {
  const std::string mark = kTemporaryMark;
  size_t at = entry.rfind(mark);
  if (entry.empty() || entry[0] != '.' || at == std::string::npos || at < 2 || at - 1 > 40) return 0;
  size_t pidStart = at + mark.size();
  size_t dash = entry.find('-', pidStart);
  if (dash == std::string::npos || !allDigits(entry, pidStart, dash) || !allDigits(entry, dash + 1, entry.size()))
    return 0;
  long pid = std::stol(entry.substr(pidStart, dash - pidStart));
  return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// A process killed between making a temporary link and renaming it leaves the
// link behind; removes such links (of dead processes only) from `folder`.
void removeStaleTemporaryLinks(int folder) {
  DirectoryStream dir = directoryStream(FD(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!dir) return;
  std::vector<std::string> stale;
  while (struct dirent* entry = readdir(dir.get())) {
    std::string n = entry->d_name;
    pid_t maker = temporaryMaker(n);
    if (maker == 0 || maker == getpid()) continue;
    struct stat st;
    if (fstatat(folder, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) continue;
    if (kill(maker, 0) != 0 && errno == ESRCH) stale.push_back(std::move(n));
  }
  dir.reset();
  for (const std::string& n : stale) unlinkat(folder, n.c_str(), 0);
}

// Whether the text of the link `link` (standing in `folder`) may be followed:
// always, but for a thread with root's rights and a link someone else controls.
bool mayFollow(const std::string& folder, const struct stat& link) {
  if (!safelookup::required()) return true;
  struct stat folderSt;
  return statInRoot(folder, true, &folderSt) && safelookup::linkController(folderSt.st_uid, link.st_uid) == 0;
}

std::optional<PlistDate> dateOf(const struct statx_timestamp& ts) {
  return PlistDate{static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9};
}

// Within a read-only check with root's rights, each read is made once: the
// same call on the same path gives again what it gave (the disk is taken not
// to change during the check). Kept small, and never past the check.
struct Reads final : safelookup::ScopeMemory {
  struct Text {
    std::optional<std::string> text;
    int error = 0;
  };
  struct Listing {
    std::optional<FolderListing> listing;
    int error = 0;
  };
  std::unordered_map<std::string, Text> files, links, executables;
  std::unordered_map<std::string, Listing> folders;
  std::unordered_map<std::string, std::string> resolved;
  std::unordered_map<std::string, int> existing, executable;
  size_t bytes = 0;
};
// Bounds what one check holds for the check's own length: many checks may
// run at once, one for each peer's request.
constexpr size_t kMaxRememberedBytes = 256 * 1024;

Reads* reads() {
  if (!safelookup::required()) return nullptr;
  return static_cast<Reads*>(safelookup::scopeMemory([]() -> std::unique_ptr<safelookup::ScopeMemory> {
    return std::make_unique<Reads>();
  }));
}

size_t sizeOf(const std::string& text) { return text.size(); }
size_t sizeOf(int) { return 0; }
size_t sizeOf(const Reads::Text& value) { return value.text ? value.text->size() : 0; }
size_t sizeOf(const Reads::Listing& value) {
  size_t size = 0;
  if (value.listing)
    for (const FolderEntry& entry : value.listing->entries)
      size += sizeof entry + entry.name.size() + (entry.linkText ? entry.linkText->size() : 0);
  return size;
}

// A failure that may pass (an interrupted call, no memory or descriptors
// left) is read again the next time.
bool passing(int error) {
  return error == EINTR || error == EAGAIN || error == ENOMEM || error == EMFILE || error == ENFILE;
}
int errorOf(const Reads::Text& value) { return value.text ? 0 : value.error; }
int errorOf(const Reads::Listing& value) { return value.listing ? 0 : value.error; }
template <class Value>
int errorOf(const Value&) {
  return 0;
}

// Keeps `value` for `key` for the rest of the check, within its bound; also
// what a read found out on the side, as reading `key` would give it.
template <class Value>
void noteAlso(std::unordered_map<std::string, Value> Reads::*table, const std::string& key, const Value& value) {
  // Asked again: a reading may have dropped the memory.
  Reads* memory = reads();
  const size_t cost = 64 + key.size() + sizeOf(value);
  if (memory && memory->bytes + cost <= kMaxRememberedBytes && (memory->*table).emplace(key, value).second)
    memory->bytes += cost;
}

// What `read` gives for `key`, read once per check.
template <class Value, class Read>
Value readOnce(std::unordered_map<std::string, Value> Reads::*table, const std::string& key, Read read) {
  Reads* memory = reads();
  if (!memory) return read();
  if (auto found = (memory->*table).find(key); found != (memory->*table).end()) return found->second;
  Value value = read();
  if (!passing(errorOf(value))) noteAlso(table, key, value);
  return value;
}


// Whether a read during this check found `resolved` (a path without links)
// to be an executable file.
bool knownExecutable(const std::string& resolved) {
  Reads* memory = reads();
  if (!memory) return false;
  auto found = memory->executables.find(resolved);
  return found != memory->executables.end() && found->second.text == resolved;
}

// A change made during a check: what was read before may no longer hold.
void changed() { safelookup::forgetScopeMemory(); }

Reads::Text readFileNow(const std::string& path, size_t maxBytes);
Reads::Listing readFolderNow(const std::string& path, bool withAttributes);

}  // namespace

bool PosixFileSystem::fileExists(const std::string& path, bool* isDirectory) {
  // -1: nothing there, 0: an item, 1: a folder.
  const int found = readOnce(&Reads::existing, path, [&] {
    struct stat st;
    if (!statInRoot(path, true, &st)) return -1;
    return S_ISDIR(st.st_mode) ? 1 : 0;
  });
  if (found < 0) return false;
  if (isDirectory) *isDirectory = found == 1;
  return true;
}

std::optional<std::string> PosixFileSystem::destinationOfSymbolicLink(const std::string& path,
                                                                     ErrorSlot slot) {
  Reads::Text link = readOnce(&Reads::links, path, [&] {
    std::string resolved;
    FD fd(noted(openInRootUnnoted(path, O_PATH, false, false, &resolved), path));
    if (!fd.ok()) return Reads::Text{std::nullopt, errno};
    char buffer[PATH_MAX + 1];
    ssize_t n = readlinkat(fd.get(), "", buffer, PATH_MAX);
    // ENOENT from readlinkat on an O_PATH descriptor means "not a link".
    if (n < 0 && errno == ENOENT) {
      // Then following the path ends at this same item: a check that asks
      // next whether it exists has its answer.
      struct stat st;
      if (reads() && fstat(fd.get(), &st) == 0) noteAlso(&Reads::existing, path, S_ISDIR(st.st_mode) ? 1 : 0);
      return Reads::Text{std::nullopt, EINVAL};
    }
    if (n < 0) return Reads::Text{std::nullopt, errno};
    if (!resolved.empty()) safelookup::noteLink(resolved);
    return Reads::Text{std::string(buffer, static_cast<size_t>(n)), 0};
  });
  if (!link.text) fail(slot, path, link.error);
  return std::move(link.text);
}

bool PosixFileSystem::removeItem(const std::string& path, ErrorSlot slot) {
  changed();
  FD parent;
  std::string name;
  if (!openParent(path, &parent, &name)) return fail(slot, path);
  return removeAt(parent.get(), name, path, slot);
}

bool PosixFileSystem::createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) {
  changed();
  if (!intermediates) {
    FD parent;
    std::string name;
    if (!openParent(path, &parent, &name)) return fail(slot, path);
    if (mkdirat(parent.get(), name.c_str(), 0755) != 0) return fail(slot, path);
    return true;
  }
  // Walk down from the root, making each missing folder; existing links to
  // folders are followed (inside the root) as the kernel would.
  std::string standard = path::standardize(path);
  if (!path::isAbsolute(standard)) return fail(slot, path, EINVAL);
  std::string sofar = "/";
  for (const std::string& part : path::components(standard)) {
    if (part == "/") continue;
    sofar = path::appendComponent(sofar, part);
    struct stat st;
    if (statInRoot(sofar, true, &st)) {
      if (!S_ISDIR(st.st_mode)) return fail(slot, path, ENOTDIR);
      continue;
    }
    FD parent;
    std::string name;
    if (!openParent(sofar, &parent, &name)) return fail(slot, path);
    if (mkdirat(parent.get(), name.c_str(), 0755) != 0 && errno != EEXIST) return fail(slot, path);
  }
  return true;
}

bool PosixFileSystem::createSymbolicLink(const std::string& path, const std::string& destination,
                                         ErrorSlot slot) {
  changed();
  FD parent;
  std::string name;
  if (!openParentForLink(path, destination, &parent, &name, slot)) return false;
  if (symlinkat(destination.c_str(), parent.get(), name.c_str()) != 0) return fail(slot, path);
  return true;
}

bool PosixFileSystem::isFolder(const std::string& path, ErrorSlot slot) {
  FD fd(openInRoot(path, O_PATH, true));
  struct stat st;
  if (!fd.ok() || fstat(fd.get(), &st) != 0) return fail(slot, path);
  if (!S_ISDIR(st.st_mode)) return fail(slot, path, ENOTDIR);
  return true;
}

bool PosixFileSystem::replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                                              ErrorSlot slot) {
  changed();
  FD parent;
  std::string name;
  if (!openParentForLink(path, destination, &parent, &name, slot)) return false;
  struct stat st;
  if (fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    // rename(2) cannot put a link over a folder: only a real folder goes first.
    if (!removeAt(parent.get(), name, path, slot)) return false;
  }
  removeStaleTemporaryLinks(parent.get());
  std::string temporary = temporaryName(name);
  if (symlinkat(destination.c_str(), parent.get(), temporary.c_str()) != 0) return fail(slot, path);
  if (renameat(parent.get(), temporary.c_str(), parent.get(), name.c_str()) != 0) {
    int err = errno;
    unlinkat(parent.get(), temporary.c_str(), 0);
    return fail(slot, path, err);
  }
  return true;
}

std::optional<std::vector<std::string>> PosixFileSystem::contentsOfDirectory(const std::string& path,
                                                                            ErrorSlot slot) {
  DirectoryStream dir = directoryStream(FD(openInRoot(path, O_RDONLY | O_DIRECTORY, true)));
  if (!dir) {
    fail(slot, path);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir.get())) {
    std::string n = entry->d_name;
    if (n != "." && n != "..") names.push_back(std::move(n));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string PosixFileSystem::resolveSymlinks(const std::string& path) {
  if (!path::isAbsolute(path)) return path::standardize(path);
  return readOnce(&Reads::resolved, path, [&] { return resolvedNow(path); });
}

std::string PosixFileSystem::resolvedNow(const std::string& path) {
  bool linkMet = false;
  if (plainAbsolute(path)) {
    FD plain(openInRootWithoutLinks(path, O_PATH));
    if (plain.ok()) return path::standardize(path);
    linkMet = errno == ELOOP;
  }
  std::optional<std::string> inside;
  FD fd(openResolved(path, O_PATH, linkMet, &inside));
  if (fd.ok() && inside) return *inside;
  // Not (fully) there: follow the links that can be read, component by
  // component, and keep what does not exist as written.
  std::vector<std::string> pending;
  for (const std::string& part : path::components(path))
    if (part != "/") pending.push_back(part);
  std::reverse(pending.begin(), pending.end());
  std::string resolved = "/";
  int links = 0;
  bool missing = false;
  while (!pending.empty()) {
    std::string part = pending.back();
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      resolved = path::deleteLastComponent(resolved);
      continue;
    }
    std::string candidate = path::appendComponent(resolved, part);
    if (!missing) {
      struct stat st;
      if (!statInRoot(candidate, false, &st)) {
        missing = true;
      } else if (S_ISLNK(st.st_mode) && !mayFollow(resolved, st) && ++links <= 40) {
        missing = true;  // kept as written, like a missing item
      } else if (S_ISLNK(st.st_mode) && ++links <= 40) {
        if (auto text = destinationOfSymbolicLink(candidate, nullptr)) {
          if (path::isAbsolute(*text)) resolved = "/";
          std::vector<std::string> parts = path::components(*text);
          for (auto it = parts.rbegin(); it != parts.rend(); ++it)
            if (*it != "/") pending.push_back(*it);
          continue;
        }
      }
    }
    resolved = candidate;
  }
  return resolved;
}

bool PosixFileSystem::isExecutableFile(const std::string& path) {
  return readOnce(&Reads::executable, path, [&] {
    FD fd(openInRoot(path, O_PATH, true));
    if (!fd.ok()) return 0;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return faccessat(fd.get(), "", X_OK, AT_EMPTY_PATH | AT_EACCESS) == 0 ? 1 : 0;
  }) == 1;
}

std::optional<FileAttributes> PosixFileSystem::attributesOfItem(const std::string& path,
                                                                ErrorSlot slot) {
  FD fd(openInRoot(path, O_PATH, false));
  if (!fd.ok()) {
    fail(slot, path);
    return std::nullopt;
  }
  struct statx sx {};
  if (statx(fd.get(), "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW,
            STATX_BTIME | STATX_MTIME | STATX_UID | STATX_GID | STATX_MODE, &sx) != 0) {
    fail(slot, path);
    return std::nullopt;
  }
  FileAttributes attributes;
  if (sx.stx_mask & STATX_BTIME) attributes.creationDate = dateOf(sx.stx_btime);
  if (sx.stx_mask & STATX_MTIME) attributes.modificationDate = dateOf(sx.stx_mtime);
  if (sx.stx_mask & STATX_UID) attributes.ownerAccountID = sx.stx_uid;
  if (sx.stx_mask & STATX_GID) attributes.groupOwnerAccountID = sx.stx_gid;
  if (sx.stx_mask & STATX_MODE) attributes.posixPermissions = sx.stx_mode & 07777;
  return attributes;
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path, size_t maxBytes, ErrorSlot slot) {
  const std::string key = std::to_string(maxBytes) + ':' + path;
  Reads::Text file = readOnce(&Reads::files, key, [&] { return readFileNow(path, maxBytes); });
  if (!file.text) fail(slot, path, file.error);
  return std::move(file.text);
}

namespace {

Reads::Text readFileNow(const std::string& path, size_t maxBytes) {
  auto failed = [](int error) { return Reads::Text{std::nullopt, error}; };
  const off_t limit = static_cast<off_t>(std::min<size_t>(maxBytes, kMaxReadSize));
  // Non-blocking open: a FIFO (or a device) where a file is expected must not
  // hang the reader; anything but a regular file is refused just below.
  FD fd(openInRoot(path, O_RDONLY | O_NONBLOCK, true));
  if (!fd.ok()) {
    return failed(errno);
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0) {
    return failed(errno);
  }
  if (!S_ISREG(st.st_mode)) {
    return failed(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  }
  if (st.st_size > limit) {
    return failed(EFBIG);
  }
  // One byte beyond the size: the read that finds the end needs no larger
  // buffer unless the file grew.
  std::string bytes;
  bytes.resize(static_cast<size_t>(st.st_size) + 1);
  size_t done = 0;
  while (true) {
    if (done == bytes.size()) bytes.resize(std::min(bytes.size() + 4096, static_cast<size_t>(limit) + 1));
    ssize_t n = read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return failed(errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done > static_cast<size_t>(limit)) {
      return failed(EFBIG);
    }
  }
  bytes.resize(done);
  return Reads::Text{std::move(bytes), 0};
}

}  // namespace

bool PosixFileSystem::writeFileAtomically(const std::string& path, const std::string& bytes,
                                          ErrorSlot slot) {
  changed();
  FD parent;
  std::string name;
  if (!openParent(path, &parent, &name)) return fail(slot, path);
  std::string temporary = temporaryName(name);
  FD out(openat(parent.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!out.ok()) return fail(slot, path);
  if (!writeAll(out.get(), bytes)) {
    int err = errno;
    unlinkat(parent.get(), temporary.c_str(), 0);
    return fail(slot, path, err);
  }
  if (fsync(out.get()) != 0 || renameat(parent.get(), temporary.c_str(), parent.get(), name.c_str()) != 0) {
    int err = errno;
    unlinkat(parent.get(), temporary.c_str(), 0);
    return fail(slot, path, err);
  }
  return true;
}

std::vector<std::string> PosixFileSystem::mountedVolumes() {
  std::vector<std::string> volumes{"/"};
  if (auto names = contentsOfDirectory("/Volumes", nullptr)) {
    for (const std::string& n : *names) {
      if (n.empty() || n[0] == '.') continue;
      std::string volume = path::appendComponent("/Volumes", n);
      bool isDirectory = false;
      if (fileExists(volume, &isDirectory) && isDirectory) volumes.push_back(volume);
    }
  }
  // Real file systems mounted where desktop systems put removable volumes,
  // inside the system root (a temporary root sees those mounted inside it).
  // Nothing is mounted below a folder that is not there: without any of
  // those folders the mount table is not read.
  static constexpr const char* kBases[] = {"/media/", "/run/media/", "/mnt/"};
  bool anyBase = false;
  for (const char* base : kBases) {
    bool isDirectory = false;
    if (fileExists(path::standardize(base), &isDirectory) && isDirectory) {
      anyBase = true;
      break;
    }
  }
  if (!anyBase) return volumes;
  for (const mounttable::Mount& mount : mounttable::read()) {
    std::string volume;
    if (!mounttable::isBlockDeviceFileSystem(mount) || !systemroot::fromHost(mount.mountPoint, &volume)) continue;
    for (const char* base : kBases) {
      if (volume.rfind(base, 0) == 0 && std::find(volumes.begin(), volumes.end(), volume) == volumes.end())
        volumes.push_back(volume);
    }
  }
  return volumes;
}

std::string PosixFileSystem::displayName(const std::string& path) { return path::lastComponent(path); }

std::optional<FolderListing> PosixFileSystem::readFolder(const std::string& path, bool withAttributes,
                                                         ErrorSlot slot) {
  const std::string key = (withAttributes ? "a:" : "n:") + path;
  Reads::Listing folder = readOnce(&Reads::folders, key, [&] { return readFolderNow(path, withAttributes); });
  if (!folder.listing) fail(slot, path, folder.error);
  return std::move(folder.listing);
}

namespace {

Reads::Listing readFolderNow(const std::string& path, bool withAttributes) {
  auto failed = [](int error) { return Reads::Listing{std::nullopt, error}; };
  FolderListing listing;
  FD fd;
  bool linkMet = false;
  if (plainAbsolute(path)) {
    fd = FD(openInRootWithoutLinks(path, O_RDONLY | O_DIRECTORY));
    if (fd.ok()) {
      listing.resolvedPath = path::standardize(path);
    } else if (failsWithoutLinks(errno)) {
      return failed(errno);
    }
    linkMet = !fd.ok() && errno == ELOOP;
  }
  if (!fd.ok()) {
    fd = FD(openResolved(path, O_RDONLY | O_DIRECTORY, linkMet, &listing.resolvedPath));
    if (!fd.ok()) {
      return failed(errno);
    }
  }
  // The raw directory reading: no stream set-up around the descriptor.
  // Filled by the kernel; on the stack, so that a short-lived command does
  // not spread its heap over pages it then has to fault in.
  alignas(struct dirent64) char buffer[8192];
  while (true) {
    long n = syscall(SYS_getdents64, fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return failed(errno);
    }
    if (n == 0) break;
    size_t records = 0;
    for (long at = 0; at < n; at += reinterpret_cast<const struct dirent64*>(buffer + at)->d_reclen) ++records;
    const size_t needed = listing.entries.size() + records;
    if (needed > listing.entries.capacity())
      listing.entries.reserve(std::max(needed, 2 * listing.entries.capacity()));
    for (long at = 0; at < n;) {
      const auto* record = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += record->d_reclen;
      const char* name = record->d_name;
      if (!std::strcmp(name, ".") || !std::strcmp(name, "..")) continue;
      FolderEntry entry;
      entry.name = name;
      unsigned char type = record->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st;
        if (fstatat(fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0) type = IFTODT(st.st_mode);
      }
      if (type == DT_DIR) entry.kind = FolderEntry::Kind::folder;
      else if (type == DT_LNK) entry.kind = FolderEntry::Kind::link;
      else if (type != DT_UNKNOWN) entry.kind = FolderEntry::Kind::other;
      if (entry.kind == FolderEntry::Kind::link) {
        if (listing.resolvedPath && safelookup::inScope())
          safelookup::noteLink(path::appendComponent(*listing.resolvedPath, entry.name));
        char text[PATH_MAX + 1];
        ssize_t length = readlinkat(fd.get(), name, text, PATH_MAX);
        if (length >= 0) entry.linkText = std::string(text, static_cast<size_t>(length));
      }
      if (withAttributes) {
        entry.attributesRead = true;
        struct statx sx {};
        if (statx(fd.get(), name, AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx) == 0) {
          FileAttributes attributes;
          if (sx.stx_mask & STATX_BTIME) attributes.creationDate = dateOf(sx.stx_btime);
          if (sx.stx_mask & STATX_MTIME) attributes.modificationDate = dateOf(sx.stx_mtime);
          entry.attributes = attributes;
        }
      }
      listing.entries.push_back(std::move(entry));
    }
  }
  std::sort(listing.entries.begin(), listing.entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return Reads::Listing{std::move(listing), 0};
}

}  // namespace

std::optional<std::string> PosixFileSystem::resolvedExecutableFile(const std::string& path) {
  return readOnce(&Reads::executables, path, [&] { return Reads::Text{resolvedExecutableNow(path), 0}; }).text;
}

std::optional<std::string> PosixFileSystem::resolvedExecutableNow(const std::string& path) {
  auto executable = [](int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && faccessat(fd, "", X_OK, AT_EMPTY_PATH | AT_EACCESS) == 0;
  };
  bool linkMet = false;
  if (plainAbsolute(path)) {
    FD plain(openInRootWithoutLinks(path, O_PATH));
    if (plain.ok()) return executable(plain.get()) ? std::optional(path::standardize(path)) : std::nullopt;
    if (failsWithoutLinks(errno)) return std::nullopt;
    linkMet = errno == ELOOP;
  }
  std::optional<std::string> inside;
  FD fd(openResolved(path, O_PATH, linkMet, &inside));
  if (fd.ok() && inside && knownExecutable(*inside)) return inside;
  if (!fd.ok() || !executable(fd.get())) return std::nullopt;
  if (inside) return inside;
  return resolveSymlinks(path);
}

namespace {

// The installed file manager: owned here, read without a lock on every call
// (it changes only when a test installs another).
struct SharedFileManager {
  std::mutex mutex;  // serialises installations
  std::shared_ptr<FileSystem> fileSystem = std::make_shared<PosixFileSystem>();
  std::atomic<FileSystem*> current{fileSystem.get()};
};

SharedFileManager& shared() {
  static SharedFileManager s;
  return s;
}

}  // namespace

FileSystem& fileManager() { return *shared().current.load(std::memory_order_acquire); }

void setFileManager(std::shared_ptr<FileSystem> fileSystem) {
  SharedFileManager& s = shared();
  std::lock_guard lock(s.mutex);
  std::shared_ptr<FileSystem> next = fileSystem ? std::move(fileSystem) : std::make_shared<PosixFileSystem>();
  s.current.store(next.get(), std::memory_order_release);
  s.fileSystem = std::move(next);
}

}  // namespace ostrakel
