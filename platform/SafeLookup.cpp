#include "platform/SafeLookup.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/UniqueFd.h"

namespace ostrakel::safelookup {

namespace {

constexpr int kMaxLinks = 40;

#if defined(SYS_setfsuid32)
constexpr long kSetFsuid = SYS_setfsuid32;
#else
constexpr long kSetFsuid = SYS_setfsuid;
#endif

using Held = UniqueFd;

int failWith(int err) {
  errno = err;
  return -1;
}

// A move between folders is unsafe when it leaves a folder that a user other
// than root controls for one owned by someone else.
bool unsafe(uid_t from, uid_t to) { return from != 0 && from != to; }

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void pushComponents(const std::string& text, std::vector<std::string>* todo) {
  // Pushed in reverse, so the first component is taken first.
  size_t end = text.size();
  while (end > 0) {
    size_t slash = text.rfind('/', end - 1);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (end > start) todo->push_back(text.substr(start, end - start));
    if (slash == std::string::npos) break;
    end = slash;
  }
}

bool hasDotDot(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    size_t end = slash == std::string::npos ? path.size() : slash;
    if (path.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return false;
}

// A path without links and without "..", as "/" and its components.
std::string plainPath(const std::string& relative) {
  std::vector<std::string> parts;
  pushComponents(relative, &parts);
  std::string out;
  for (size_t i = parts.size(); i-- > 0;) {
    if (parts[i] == ".") continue;
    out += '/';
    out += parts[i];
  }
  return out.empty() ? std::string("/") : out;
}

// The final object, opened as asked: an O_PATH descriptor is kept; a folder is
// reopened through itself; anything else is opened by name in its folder and
// must still be the item that was looked at.
int openFinal(Held* object, const struct stat& st, int folder, const std::string& name, int flags) {
  if ((flags & O_DIRECTORY) && !S_ISDIR(st.st_mode)) return failWith(ENOTDIR);
  if (flags & O_PATH) return object->release();
  if (S_ISDIR(st.st_mode)) return ::openat(object->get(), ".", (flags & ~O_NOFOLLOW) | O_CLOEXEC);
  if (folder < 0) return failWith(EINVAL);
  Held opened(::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC));
  if (opened.get() < 0) return -1;
  struct stat now;
  if (::fstat(opened.get(), &now) != 0) return -1;
  if (!sameInode(now, st)) return failWith(EAGAIN);
  return opened.release();
}

// One call of the kernel's lookup below `from`, refusing any link (ELOOP says
// one is on the way) and never leaving `from`.
int openBeneath(int from, const char* relative, int flags, uint64_t resolve) {
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = resolve | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, from, relative, &how, sizeof how));
}

// The lookup without links and without "..": nothing can lead elsewhere, so
// the kernel may do it in one call. ELOOP says a link is on the way.
int openDirect(int rootFd, const std::string& relative, int flags, bool followFinal) {
  return openBeneath(rootFd, relative.c_str(), flags | (followFinal ? 0 : O_NOFOLLOW), RESOLVE_IN_ROOT);
}

// Where the walk stands: a folder, known by its path inside the root (every
// component a folder the walk entered, never a link, so the path is where the
// folder really is), with its descriptor once one is needed (the root's is
// borrowed, any other is owned), its status, read only when a check needs it,
// and who controls it.
class Position {
public:
  explicit Position(int rootFd) : rootFd_(rootFd) {}
  // The folder's descriptor, opened on first use from the root through the
  // path, which holds no link; -1 with errno set when it cannot be.
  int fd() {
    if (path_.empty()) return rootFd_;
    if (!owned_.ok()) owned_.reset(openBeneath(rootFd_, path_.c_str(), O_PATH | O_DIRECTORY, RESOLVE_IN_ROOT));
    return owned_.get();
  }
  const std::string& path() const { return path_; }
  bool atRoot() const { return path_.empty(); }
  // `name` inside this folder, as the root's descriptor sees it.
  std::string below(const std::string& name) const { return path_.empty() ? name : path_ + '/' + name; }
  // Opens `relative` (names without "..") below this folder with `flags`, in
  // one call refusing links: through the folder's descriptor when one is
  // held, else from the root. A final link is given itself with O_PATH and
  // O_NOFOLLOW; any other link on the way fails with ELOOP.
  int openBelow(const std::string& relative, int flags) {
    if (owned_.ok() || path_.empty()) return openBeneath(fd(), relative.c_str(), flags, RESOLVE_BENEATH);
    return openBeneath(rootFd_, below(relative).c_str(), flags, RESOLVE_IN_ROOT);
  }
  // The status of the root and of the folder the walk stands in; null when
  // it cannot be read (errno set).
  const struct stat* root() { return statOf(rootFd_, rootSt_); }
  const struct stat* here() {
    if (path_.empty()) return root();
    if (!hereSt_) {
      const int folder = fd();
      if (folder < 0) return nullptr;
      return statOf(folder, hereSt_);
    }
    return &*hereSt_;
  }
  // Who controls the folder: the user of the link that led here, else its owner.
  bool controller(uid_t* uid) {
    if (linkController_) {
      *uid = *linkController_;
      return true;
    }
    const struct stat* st = here();
    if (!st) return false;
    *uid = st->st_uid;
    return true;
  }
  // Down into `relative` (one or more folder names), opened as `folder`.
  void enter(Held folder, const struct stat* st, const std::string& relative) {
    if (!path_.empty()) path_ += '/';
    path_ += relative;
    standIn(std::move(folder), st);
  }
  // Up to the parent; its descriptor is opened only when needed.
  void leave(const struct stat* parentSt) {
    const size_t slash = path_.rfind('/');
    path_.resize(slash == std::string::npos ? 0 : slash);
    standIn(Held(), parentSt);
  }
  void enterRoot() {
    path_.clear();
    standIn(Held(), nullptr);
  }
  void ledHereBy(uid_t linkController) { linkController_ = linkController; }
  const std::optional<uid_t>& linkController() const { return linkController_; }
  // The folder's own descriptor, to be handed out (the root's is duplicated).
  int take() {
    if (path_.empty()) return ::openat(rootFd_, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd() < 0) return -1;
    return owned_.release();
  }

private:
  void standIn(Held folder, const struct stat* st) {
    owned_ = std::move(folder);
    hereSt_.reset();
    if (st) hereSt_ = *st;
    linkController_.reset();
  }
  static const struct stat* statOf(int fd, std::optional<struct stat>& cache) {
    if (!cache) {
      struct stat st;
      if (::fstat(fd, &st) != 0) return nullptr;
      cache = st;
    }
    return &*cache;
  }

  const int rootFd_;
  std::string path_;
  Held owned_;
  std::optional<struct stat> rootSt_, hereSt_;
  std::optional<uid_t> linkController_;
};

// How many plain names (neither "." nor "..") lead the components still to
// walk, the last component of all left out: the kernel may open such a run of
// folders at once, as long as none of them is a link.
size_t plainRun(const std::vector<std::string>& todo) {
  size_t count = 0;
  while (count + 1 < todo.size()) {
    const std::string& name = todo[todo.size() - 1 - count];
    if (name == "." || name == "..") break;
    ++count;
  }
  return count;
}

// What the walks inside a ReadOnlyScope resolved, by the state a walk was in:
// the folder it stood in, who controlled it, what was left and how it was to
// end. Only O_PATH results are kept (a copy of any other descriptor would
// share its file position).
struct Resolved {
  Held fd;
  std::string path;
  int error = 0;
};
// A result, and how many links the walk from that state on followed (a walk
// that has followed more already may not follow that many again).
struct Remembered {
  std::shared_ptr<const Resolved> resolved;
  int links = 0;
};
struct Memo {
  std::unordered_map<std::string, Remembered> byState;
  std::unique_ptr<ScopeMemory> files;
  // Paths (without the leading "/") where links were found.
  std::unordered_set<std::string> links;
  size_t linkBytes = 0;
};
// A state of an unfinished walk, and the links followed up to it.
struct State {
  std::string key;
  int links = 0;
};
constexpr size_t kMaxRemembered = 256;
thread_local Memo* memo = nullptr;

// A check notes at most this many bytes of link paths: checks of many peers
// may run at once.
constexpr size_t kMaxLinkBytesNoted = 32 * 1024;

void rememberLink(std::string path) {
  if (!memo || memo->linkBytes + path.size() > kMaxLinkBytesNoted) return;
  const size_t size = path.size();
  if (memo->links.insert(std::move(path)).second) memo->linkBytes += size + 32;
}

bool isKnownLink(const std::string& relative) { return memo && memo->links.count(relative) > 0; }

// A folder whose entries only root can change: names in it may be looked at
// by name, as nobody else can put another item in their place meanwhile.
bool onlyRootChanges(const struct stat& folder) {
  return folder.st_uid == 0 && !(folder.st_mode & (S_IWGRP | S_IWOTH));
}

// How many of the `run` names from the end of `todo` below `at` come before
// the first link noted in the scope.
size_t beforeKnownLink(const std::string& at, const std::vector<std::string>& todo, size_t run) {
  if (!memo || memo->links.empty()) return run;
  std::string prefix = at;
  for (size_t i = 0; i < run; ++i) {
    if (!prefix.empty()) prefix += '/';
    prefix += todo[todo.size() - 1 - i];
    if (memo->links.count(prefix)) return i;
  }
  return run;
}

// Within one read-only scope the disk is taken not to change, so a folder is
// known by its path.
std::string stateKey(const std::string& folder, const std::optional<uid_t>& controller,
                     const std::vector<std::string>& todo, int flags, bool followFinal) {
  std::string key = (controller ? std::to_string(*controller) : std::string("-")) + ':' + std::to_string(flags) +
                    (followFinal ? ":f:/" : ":n:/") + folder + ':';
  for (size_t i = todo.size(); i-- > 0;) {
    key += todo[i];
    key += '/';
  }
  return key;
}

// A descriptor (or failure) as a remembered result gives it again.
int giveAgain(const Resolved& resolved, std::string* path) {
  if (!resolved.fd.ok()) return failWith(resolved.error);
  const int fd = ::fcntl(resolved.fd.get(), F_DUPFD_CLOEXEC, 0);
  if (fd >= 0 && path) *path = resolved.path;
  return fd;
}

void remember(const std::vector<State>& states, int links, int fd, int error, const std::string& path) {
  auto resolved = std::make_shared<Resolved>();
  if (fd >= 0) {
    resolved->fd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!resolved->fd.ok()) return;
    resolved->path = path;
  } else if (error == ENOENT || error == ENOTDIR || error == EACCES || error == kRefused) {
    resolved->error = error;
  } else {
    return;  // too many links, or perhaps passing (a race, no memory): not kept
  }
  for (const State& state : states)
    if (memo->byState.size() < kMaxRemembered) memo->byState.emplace(state.key, Remembered{resolved, links - state.links});
}

// `resolved` receives the path inside the root (starting with "/") of what
// was opened.
int openStepwise(int rootFd, const std::string& path, int flags, bool followFinal, std::vector<State>* states,
                 int* linksFollowed, std::string* resolved) {
  Position at(rootFd);
  std::vector<std::string> todo;
  pushComponents(path, &todo);
  int& links = *linksFollowed;
  auto done = [&](int fd, const std::string& where) {
    if (fd >= 0) *resolved = '/' + where;
    return fd;
  };
  // Inside a read-only scope: whether this state was walked before (then
  // `result` is what it gave), else it is noted to be remembered.
  int result = -1;
  auto seenBefore = [&] {
    if (!states) return false;
    std::string key = stateKey(at.path(), at.linkController(), todo, flags, followFinal);
    auto found = memo->byState.find(key);
    if (found != memo->byState.end() && links + found->second.links <= kMaxLinks) {
      links += found->second.links;
      result = giveAgain(*found->second.resolved, resolved);
      return true;
    }
    states->push_back(State{std::move(key), links});
    return false;
  };
  if (seenBefore()) return result;
  // Set once a run of folders turned out to hold a link: the names are then
  // taken one at a time until the link is met.
  bool stepSingly = false;
  while (!todo.empty()) {
    if (!stepSingly) {
      const size_t run = plainRun(todo);
      // A link the scope knows of ends the run before it; else links stand
      // mostly at the end of a run (an architecture, texbin, Contents), so
      // without the whole run its folders before the last are tried too.
      const size_t known = beforeKnownLink(at.path(), todo, run);
      bool opened = false;
      if (known < run) stepSingly = true;
      for (size_t count : {known, known == run && run >= 3 ? run - 1 : 0}) {
        if (count < 2) continue;
        std::string relative;
        for (size_t i = 0; i < count; ++i) {
          if (i) relative += '/';
          relative += todo[todo.size() - 1 - i];
        }
        Held folders(at.openBelow(relative, O_PATH | O_DIRECTORY));
        if (folders.ok()) {
          at.enter(std::move(folders), nullptr, relative);
          todo.resize(todo.size() - count);
          opened = true;
          break;
        }
        if (errno != ELOOP && errno != ENOSYS && errno != EAGAIN && errno != EXDEV) return -1;
        stepSingly = true;
      }
      if (opened) continue;
    }
    std::string name = std::move(todo.back());
    todo.pop_back();
    const bool last = todo.empty();
    if (name == ".") continue;
    if (name == "..") {
      if (at.atRoot()) continue;  // ".." never leaves the root
      uid_t controller;
      if (!at.controller(&controller)) return -1;
      // A folder root or its own controller holds may be left for any parent;
      // otherwise the parent's owner must be the controller.
      if (controller == 0) {
        at.leave(nullptr);
      } else {
        Held parent(::openat(at.fd(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat parentSt;
        if (parent.get() < 0 || ::fstat(parent.get(), &parentSt) != 0) return -1;
        if (unsafe(controller, parentSt.st_uid)) return failWith(kRefused);
        at.leave(&parentSt);
      }
      if (seenBefore()) return result;
      continue;
    }
    Held child;
    struct stat childSt;
    // A link known to stand in a folder only root can change is read by
    // name, without opening it.
    bool byName = false;
    if ((!last || followFinal) && isKnownLink(at.below(name))) {
      const struct stat* hereSt = at.here();
      byName = hereSt && onlyRootChanges(*hereSt) && ::fstatat(at.fd(), name.c_str(), &childSt, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISLNK(childSt.st_mode);
    }
    if (!byName) {
      child.reset(at.openBelow(name, O_PATH | O_NOFOLLOW));
      if (child.get() < 0 || ::fstat(child.get(), &childSt) != 0) return -1;
    }
    if (S_ISLNK(childSt.st_mode) && (!last || followFinal)) {
      if (++links > kMaxLinks) return failWith(ELOOP);
      char buffer[PATH_MAX + 1];
      ssize_t n = byName ? ::readlinkat(at.fd(), name.c_str(), buffer, PATH_MAX)
                         : ::readlinkat(child.get(), "", buffer, PATH_MAX);
      if (n < 0) return -1;
      if (memo) rememberLink(at.below(name));
      if (n == 0) return failWith(ENOENT);
      std::string text(buffer, static_cast<size_t>(n));
      const struct stat* hereSt = at.here();
      if (!hereSt) return -1;
      const uid_t folderOwner = hereSt->st_uid;
      if (text[0] == '/') {
        const struct stat* rootSt = at.root();
        if (!rootSt) return -1;
        if (!absoluteLinkAllowed(folderOwner, childSt.st_uid, rootSt->st_uid)) return failWith(kRefused);
        at.enterRoot();
      } else {
        at.ledHereBy(linkController(folderOwner, childSt.st_uid));
      }
      stepSingly = false;
      pushComponents(text, &todo);
      if (todo.empty()) break;  // a link to "/" alone
      if (seenBefore()) return result;
      continue;
    }
    if (last) {
      // Only a file opened for reading or writing is opened again, by name
      // in its folder.
      int folder = -1;
      if (!S_ISDIR(childSt.st_mode) && !(flags & (O_PATH | O_DIRECTORY)) && (folder = at.fd()) < 0) return -1;
      return done(openFinal(&child, childSt, folder, name, flags), at.below(name));
    }
    if (!S_ISDIR(childSt.st_mode)) return failWith(ENOTDIR);
    at.enter(std::move(child), &childSt, name);
  }
  // The path ends in a folder reached by "..", "." or a link.
  const struct stat* hereSt = at.here();
  if (!hereSt) return -1;
  const struct stat st = *hereSt;
  const std::string where = at.path();
  Held folder(at.take());
  if (!folder.ok()) return -1;
  return done(openFinal(&folder, st, -1, std::string(), flags), where);
}

}  // namespace

namespace {
thread_local int actsAsRoot = -1;  // unknown until asked
}  // namespace

bool required() {
  // An invalid id changes nothing and reports the fsuid in force.
  if (actsAsRoot < 0) actsAsRoot = static_cast<uid_t>(::syscall(kSetFsuid, static_cast<uid_t>(-1))) == 0;
  return actsAsRoot == 1;
}

void rightsChanged() {
  actsAsRoot = -1;
  // What was resolved or read with the former rights says nothing of the new.
  if (memo) {
    memo->byState.clear();
    memo->files.reset();
    memo->links.clear();
    memo->linkBytes = 0;
  }
}

uid_t linkController(uid_t folderOwner, uid_t linkOwner) { return folderOwner != 0 ? folderOwner : linkOwner; }

bool absoluteLinkAllowed(uid_t folderOwner, uid_t linkOwner, uid_t rootOwner) {
  return !unsafe(linkController(folderOwner, linkOwner), rootOwner);
}

int open(int rootFd, const std::string& path, int flags, bool followFinal, bool linkMet, std::string* resolved) {
  size_t start = path.find_first_not_of('/');
  std::string relative = start == std::string::npos ? std::string(".") : path.substr(start);
  std::string where;
  if (!linkMet && !hasDotDot(relative) && !crossesKnownLink(relative, followFinal)) {
    int fd = openDirect(rootFd, relative, flags, followFinal);
    if (fd >= 0) {
      if (resolved) *resolved = plainPath(relative);
      return fd;
    }
    if (errno != ELOOP && errno != ENOSYS) return fd;
  }
  int links = 0;
  if (!memo || !(flags & O_PATH)) {
    const int fd = openStepwise(rootFd, relative, flags, followFinal, nullptr, &links, &where);
    if (fd >= 0 && resolved) *resolved = std::move(where);
    return fd;
  }
  std::vector<State> states;
  const int fd = openStepwise(rootFd, relative, flags, followFinal, &states, &links, &where);
  const int error = errno;
  remember(states, links, fd, error, where);
  if (fd >= 0 && resolved) *resolved = std::move(where);
  errno = error;
  return fd;
}

bool inScope() { return memo != nullptr; }

void noteLink(const std::string& path) {
  const size_t start = path.find_first_not_of('/');
  if (memo && start != std::string::npos) rememberLink(path.substr(start));
}

bool crossesKnownLink(const std::string& path, bool withLast) {
  if (!memo || memo->links.empty()) return false;
  // The path's prefixes, component by component, in one growing string.
  std::string prefix;
  prefix.reserve(path.size());
  size_t start = path.find_first_not_of('/');
  while (start != std::string::npos && start < path.size()) {
    size_t end = path.find('/', start);
    const bool lastPart = end == std::string::npos || path.find_first_not_of('/', end) == std::string::npos;
    if (end == std::string::npos) end = path.size();
    const size_t length = end - start;
    if ((length == 1 && path[start] == '.') || (length == 2 && path.compare(start, 2, "..") == 0)) return false;
    if (lastPart && !withLast) return false;
    if (!prefix.empty()) prefix += '/';
    prefix.append(path, start, length);
    if (memo->links.count(prefix)) return true;
    start = path.find_first_not_of('/', end);
  }
  return false;
}

ScopeMemory* scopeMemory(std::unique_ptr<ScopeMemory> (*make)()) {
  if (!memo) return nullptr;
  if (!memo->files) memo->files = make();
  return memo->files.get();
}

void forgetScopeMemory() {
  if (!memo) return;
  memo->files.reset();
  memo->links.clear();
  memo->linkBytes = 0;
}

ReadOnlyScope::ReadOnlyScope() {
  if (!memo) {
    memo = new Memo;
    owner_ = true;
  }
}

ReadOnlyScope::~ReadOnlyScope() {
  if (!owner_) return;
  delete memo;
  memo = nullptr;
}

}  // namespace ostrakel::safelookup
