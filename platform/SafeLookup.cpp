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

// The lookup without links and without "..": nothing can lead elsewhere, so
// the kernel may do it in one call. ELOOP says a link is on the way.
int openDirect(int rootFd, const std::string& relative, int flags, bool followFinal) {
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC | (followFinal ? 0 : O_NOFOLLOW));
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how));
}

// Where the walk stands: a folder (the root's descriptor is borrowed, any
// other is owned), its status, read only when a check needs it, and who
// controls it.
class Position {
public:
  explicit Position(int rootFd) : rootFd_(rootFd), fd_(rootFd) {}
  int fd() const { return fd_; }
  // The status of the root and of the folder the walk stands in; null when
  // it cannot be read (errno set).
  const struct stat* root() { return statOf(rootFd_, rootSt_); }
  const struct stat* here() { return fd_ == rootFd_ ? root() : statOf(fd_, hereSt_); }
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
  void enter(Held folder, const struct stat* st) {
    owned_ = std::move(folder);
    fd_ = owned_.get();
    hereSt_.reset();
    if (st) hereSt_ = *st;
    linkController_.reset();
  }
  void enterRoot() {
    owned_.reset();
    fd_ = rootFd_;
    hereSt_ = rootSt_;
    linkController_.reset();
  }
  void ledHereBy(uid_t linkController) { linkController_ = linkController; }
  const std::optional<uid_t>& linkController() const { return linkController_; }
  // The folder's own descriptor, to be handed out (the root's is duplicated).
  int take() {
    if (owned_.ok()) return owned_.release();
    return ::openat(rootFd_, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  }

private:
  static const struct stat* statOf(int fd, std::optional<struct stat>& cache) {
    if (!cache) {
      struct stat st;
      if (::fstat(fd, &st) != 0) return nullptr;
      cache = st;
    }
    return &*cache;
  }

  const int rootFd_;
  int fd_;
  Held owned_;
  std::optional<struct stat> rootSt_, hereSt_;
  std::optional<uid_t> linkController_;
};

// Opens the folders `names` below `from` in one call, or fails with ELOOP
// when one of them is a link (or another errno that ends the lookup).
int openFolders(int from, const std::vector<std::string>& todo, size_t count) {
  std::string relative;
  for (size_t i = 0; i < count; ++i) {
    if (i) relative += '/';
    relative += todo[todo.size() - 1 - i];
  }
  struct open_how how {};
  how.flags = static_cast<uint64_t>(O_PATH | O_DIRECTORY | O_CLOEXEC);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, from, relative.c_str(), &how, sizeof how));
}

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
};
// A state of an unfinished walk, and the links followed up to it.
struct State {
  std::string key;
  int links = 0;
};
constexpr size_t kMaxRemembered = 256;
thread_local Memo* memo = nullptr;

std::string stateKey(const struct stat& folder, const std::optional<uid_t>& controller,
                     const std::vector<std::string>& todo, int flags, bool followFinal) {
  std::string key = std::to_string(folder.st_dev) + ':' + std::to_string(folder.st_ino) + ':' +
                    (controller ? std::to_string(*controller) : std::string("-")) + ':' +
                    std::to_string(flags) + (followFinal ? ":f:" : ":n:");
  for (size_t i = todo.size(); i-- > 0;) {
    key += todo[i];
    key += '/';
  }
  return key;
}

// A descriptor (or failure) as a remembered result gives it again.
int giveAgain(const Resolved& resolved) {
  if (resolved.fd.ok()) return ::fcntl(resolved.fd.get(), F_DUPFD_CLOEXEC, 0);
  return failWith(resolved.error);
}

void remember(const std::vector<State>& states, int links, int fd, int error) {
  auto resolved = std::make_shared<Resolved>();
  if (fd >= 0) {
    resolved->fd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!resolved->fd.ok()) return;
  } else if (error == ENOENT || error == ENOTDIR || error == EACCES || error == kRefused) {
    resolved->error = error;
  } else {
    return;  // too many links, or perhaps passing (a race, no memory): not kept
  }
  for (const State& state : states)
    if (memo->byState.size() < kMaxRemembered) memo->byState.emplace(state.key, Remembered{resolved, links - state.links});
}

int openStepwise(int rootFd, const std::string& path, int flags, bool followFinal, std::vector<State>* states,
                 int* linksFollowed) {
  Position at(rootFd);
  std::vector<std::string> todo;
  pushComponents(path, &todo);
  int& links = *linksFollowed;
  // Inside a read-only scope: whether this state was walked before (then
  // `result` is what it gave), else it is noted to be remembered.
  int result = -1;
  auto seenBefore = [&] {
    if (!states) return false;
    const struct stat* hereSt = at.here();
    if (!hereSt) return false;
    std::string key = stateKey(*hereSt, at.linkController(), todo, flags, followFinal);
    auto found = memo->byState.find(key);
    if (found != memo->byState.end() && links + found->second.links <= kMaxLinks) {
      links += found->second.links;
      result = giveAgain(*found->second.resolved);
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
      // Links stand mostly at the end of a run (an architecture, texbin,
      // Contents), so without the whole run its folders before the last are
      // tried at once too.
      const size_t run = plainRun(todo);
      for (size_t count : {run, run >= 3 ? run - 1 : 0}) {
        if (count < 2) continue;
        Held folders(openFolders(at.fd(), todo, count));
        if (folders.ok()) {
          at.enter(std::move(folders), nullptr);
          todo.resize(todo.size() - count);
          break;
        }
        if (errno != ELOOP && errno != ENOSYS && errno != EAGAIN && errno != EXDEV) return -1;
        stepSingly = true;
      }
      if (!stepSingly && run >= 2) continue;  // a run was opened
    }
    std::string name = std::move(todo.back());
    todo.pop_back();
    const bool last = todo.empty();
    if (name == ".") continue;
    if (name == "..") {
      const struct stat* rootSt = at.root();
      const struct stat* hereSt = at.here();
      if (!rootSt || !hereSt) return -1;
      if (sameInode(*hereSt, *rootSt)) continue;  // ".." never leaves the root
      uid_t controller;
      if (!at.controller(&controller)) return -1;
      Held parent(::openat(at.fd(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      struct stat parentSt;
      if (parent.get() < 0 || ::fstat(parent.get(), &parentSt) != 0) return -1;
      if (unsafe(controller, parentSt.st_uid)) return failWith(kRefused);
      at.enter(std::move(parent), &parentSt);
      if (seenBefore()) return result;
      continue;
    }
    Held child(::openat(at.fd(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat childSt;
    if (child.get() < 0 || ::fstat(child.get(), &childSt) != 0) return -1;
    if (S_ISLNK(childSt.st_mode) && (!last || followFinal)) {
      if (++links > kMaxLinks) return failWith(ELOOP);
      char buffer[PATH_MAX + 1];
      ssize_t n = ::readlinkat(child.get(), "", buffer, PATH_MAX);
      if (n < 0) return -1;
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
    if (last) return openFinal(&child, childSt, at.fd(), name, flags);
    if (!S_ISDIR(childSt.st_mode)) return failWith(ENOTDIR);
    at.enter(std::move(child), &childSt);
  }
  // The path ends in a folder reached by "..", "." or a link.
  const struct stat* hereSt = at.here();
  if (!hereSt) return -1;
  const struct stat st = *hereSt;
  Held folder(at.take());
  if (!folder.ok()) return -1;
  return openFinal(&folder, st, -1, std::string(), flags);
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
  }
}

uid_t linkController(uid_t folderOwner, uid_t linkOwner) { return folderOwner != 0 ? folderOwner : linkOwner; }

bool absoluteLinkAllowed(uid_t folderOwner, uid_t linkOwner, uid_t rootOwner) {
  return !unsafe(linkController(folderOwner, linkOwner), rootOwner);
}

int open(int rootFd, const std::string& path, int flags, bool followFinal, bool linkMet) {
  size_t start = path.find_first_not_of('/');
  std::string relative = start == std::string::npos ? std::string(".") : path.substr(start);
  if (!linkMet && !hasDotDot(relative)) {
    int fd = openDirect(rootFd, relative, flags, followFinal);
    if (fd >= 0 || (errno != ELOOP && errno != ENOSYS)) return fd;
  }
  int links = 0;
  if (!memo || !(flags & O_PATH)) return openStepwise(rootFd, relative, flags, followFinal, nullptr, &links);
  std::vector<State> states;
  const int fd = openStepwise(rootFd, relative, flags, followFinal, &states, &links);
  const int error = errno;
  remember(states, links, fd, error);
  errno = error;
  return fd;
}

ScopeMemory* scopeMemory(std::unique_ptr<ScopeMemory> (*make)()) {
  if (!memo) return nullptr;
  if (!memo->files) memo->files = make();
  return memo->files.get();
}

void forgetScopeMemory() {
  if (memo) memo->files.reset();
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
