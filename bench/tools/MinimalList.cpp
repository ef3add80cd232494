// The floor for the listing benchmark: exactly the file-system reads that
// listing the distributions needs, and nothing else: no property-list
// parsing, no objects, no sorting. Paths are looked up the way the real file
// manager looks them up: openat2(2) with RESOLVE_IN_ROOT from a descriptor of
// the system root (OSTRAKEL_ROOT, or "/").
//
// Reads made, each once: the distributions folder of the root (which is also
// the first mounted volume's), the /Volumes folder, and every other volume's
// distributions folder.
// Per bundle found: its attributes, its Contents/Info.plist, the listing of
// Contents/Programs, and per runnable entry (x86_64, i386) the resolution of
// its links and one executable test of its "tex"; then the bundle's own
// texbin link and the .DefaultTeX/Contents link, which reading a bundle
// consults to tell whether it is the active one, and, for a bundle that link
// does not name by its exact text, the resolution of both the bundle's
// Contents folder and the link's target (the last activity test).
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int rootFd = -1;
std::string hostRoot;

int openInRoot(const std::string& path, int flags) {
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  const char* rel = path.c_str();
  while (*rel == '/') ++rel;
  if (!*rel) rel = ".";
  return static_cast<int>(syscall(SYS_openat2, rootFd, rel, &how, sizeof how));
}

std::vector<std::string> list(const std::string& path) {
  std::vector<std::string> names;
  int fd = openInRoot(path, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return names;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return names;
  }
  while (struct dirent* entry = readdir(dir))
    if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, "..")) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

void attributes(const std::string& path) {
  int fd = openInRoot(path, O_PATH | O_NOFOLLOW);
  if (fd < 0) return;
  struct statx sx {};
  statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx);
  close(fd);
}

size_t readWhole(const std::string& path) {
  int fd = openInRoot(path, O_RDONLY);
  if (fd < 0) return 0;
  struct stat st;
  size_t total = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) total += static_cast<size_t>(n);
  }
  close(fd);
  return total;
}

std::string resolve(const std::string& path) {
  int fd = openInRoot(path, O_PATH);
  if (fd < 0) return path;
  char proc[64], buffer[PATH_MAX];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(proc, buffer, sizeof buffer);
  close(fd);
  if (n <= 0) return path;
  std::string host(buffer, static_cast<size_t>(n));
  return host.compare(0, hostRoot.size(), hostRoot) == 0 ? host.substr(hostRoot.size()) : host;
}

bool executable(const std::string& path) {
  int fd = openInRoot(path, O_PATH);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            faccessat(fd, "", X_OK, AT_EMPTY_PATH | AT_EACCESS) == 0;
  close(fd);
  return ok;
}

std::string readLink(const std::string& path) {
  int fd = openInRoot(path, O_PATH | O_NOFOLLOW);
  if (fd < 0) return {};
  char buffer[PATH_MAX];
  ssize_t n = readlinkat(fd, "", buffer, sizeof buffer);
  close(fd);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool isBundle(const std::string& name) {
  return name.size() > 7 && name.compare(name.size() - 7, 7, ".velmar") == 0;
}

void readFolder(const std::string& folder) {
  for (const std::string& name : list(folder)) {
    if (!isBundle(name)) continue;
    const std::string bundle = folder + "/" + name;
    attributes(bundle);
    readWhole(bundle + "/Contents/Info.plist");
    for (const std::string& entry : list(bundle + "/Contents/Programs")) {
      if (entry != "x86_64" && entry != "i386") continue;
      const std::string target = resolve(bundle + "/Contents/Programs/" + entry);
      if (executable(target + "/tex"))
        std::printf("\"%.*s\" \"%s\"\n", static_cast<int>(name.size() - 7), name.c_str(), entry.c_str());
    }
    readLink(bundle + "/Contents/Programs/texbin");
    const std::string active = readLink("/Library/TeX/Distributions/.DefaultTeX/Contents");
    if (!active.empty() && active != "../" + name + "/Contents") {
      resolve(bundle + "/Contents");
      resolve("/Library/TeX/Distributions/.DefaultTeX/" + active);
    }
  }
}

}  // namespace

int main() {
  const char* root = std::getenv("OSTRAKEL_ROOT");
  hostRoot = root && *root ? root : "/";
  while (hostRoot.size() > 1 && hostRoot.back() == '/') hostRoot.pop_back();
  if (hostRoot == "/") hostRoot.clear();
  rootFd = open(root && *root ? root : "/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) {
    std::perror("ostrakel-minimal-list: root");
    return 1;
  }
  const std::string ltd = "/Library/TeX/Distributions";
  readFolder(ltd);
  for (const std::string& volume : list("/Volumes"))
    if (volume[0] != '.') readFolder("/Volumes/" + volume + ltd);
  return 0;
}
