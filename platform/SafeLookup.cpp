#include "platform/SafeLookup.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

int openStepwise(int rootFd, const std::string& path, int flags, bool followFinal) {
  struct stat rootSt;
  if (::fstat(rootFd, &rootSt) != 0) return -1;
  Held current(::openat(rootFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (current.get() < 0) return -1;
  struct stat currentSt = rootSt;
  // Who controls the folder we stand in: its owner, or the user who controls
  // the relative link that brought us here.
  uid_t controller = rootSt.st_uid;
  std::vector<std::string> todo;
  pushComponents(path, &todo);
  if (!hasDotDot(path) && todo.size() >= 2) {
    // Links stand mostly at the end (an architecture, texbin, Contents): the
    // folders before the last component often hold none and are opened at once.
    std::string folders;
    for (size_t i = todo.size() - 1; i >= 1; --i) folders += todo[i] + "/";
    Held folder(openDirect(rootFd, folders, O_PATH | O_DIRECTORY, true));
    struct stat folderSt;
    if (folder.get() >= 0 && ::fstat(folder.get(), &folderSt) == 0) {
      current.reset(folder.release());
      currentSt = folderSt;
      controller = folderSt.st_uid;
      todo.resize(1);
    }
  }
  int links = 0;
  while (!todo.empty()) {
    std::string name = std::move(todo.back());
    todo.pop_back();
    const bool last = todo.empty();
    if (name == ".") continue;
    if (name == "..") {
      if (sameInode(currentSt, rootSt)) continue;  // ".." never leaves the root
      Held parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      struct stat parentSt;
      if (parent.get() < 0 || ::fstat(parent.get(), &parentSt) != 0) return -1;
      if (unsafe(controller, parentSt.st_uid)) return failWith(kRefused);
      current.reset(parent.release());
      currentSt = parentSt;
      controller = parentSt.st_uid;
      continue;
    }
    Held child(::openat(current.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat childSt;
    if (child.get() < 0 || ::fstat(child.get(), &childSt) != 0) return -1;
    if (S_ISLNK(childSt.st_mode) && (!last || followFinal)) {
      if (++links > kMaxLinks) return failWith(ELOOP);
      char buffer[PATH_MAX + 1];
      ssize_t n = ::readlinkat(child.get(), "", buffer, PATH_MAX);
      if (n < 0) return -1;
      if (n == 0) return failWith(ENOENT);
      std::string text(buffer, static_cast<size_t>(n));
      const uid_t linkController = safelookup::linkController(currentSt.st_uid, childSt.st_uid);
      if (text[0] == '/') {
        if (!absoluteLinkAllowed(currentSt.st_uid, childSt.st_uid, rootSt.st_uid)) return failWith(kRefused);
        current.reset(::openat(rootFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (current.get() < 0) return -1;
        currentSt = rootSt;
        controller = rootSt.st_uid;
      } else {
        controller = linkController;
      }
      pushComponents(text, &todo);
      if (todo.empty()) break;  // a link to "/" alone
      continue;
    }
    if (last) return openFinal(&child, childSt, current.get(), name, flags);
    if (!S_ISDIR(childSt.st_mode)) return failWith(ENOTDIR);
    current.reset(child.release());
    currentSt = childSt;
    controller = childSt.st_uid;
  }
  // The path ends in a folder reached by "..", "." or a link.
  return openFinal(&current, currentSt, -1, std::string(), flags);
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

void rightsChanged() { actsAsRoot = -1; }

uid_t linkController(uid_t folderOwner, uid_t linkOwner) { return folderOwner != 0 ? folderOwner : linkOwner; }

bool absoluteLinkAllowed(uid_t folderOwner, uid_t linkOwner, uid_t rootOwner) {
  return !unsafe(linkController(folderOwner, linkOwner), rootOwner);
}

int open(int rootFd, const std::string& path, int flags, bool followFinal) {
  size_t start = path.find_first_not_of('/');
  std::string relative = start == std::string::npos ? std::string(".") : path.substr(start);
  if (!hasDotDot(relative)) {
    int fd = openDirect(rootFd, relative, flags, followFinal);
    if (fd >= 0 || (errno != ELOOP && errno != ENOSYS)) return fd;
  }
  return openStepwise(rootFd, relative, flags, followFinal);
}

}  // namespace ostrakel::safelookup
