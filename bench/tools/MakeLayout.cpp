// Builds a TeX layout of N distribution bundles inside a root folder, for the
// benchmarks and the load tests:
//   ostrakel-make-layout ROOT COUNT [PREFIX]
// Each bundle PREFIX<number>.velmar holds Contents/Info.plist, a binary folder
// Contents/Programs/x86_64 with executables tex and pdftex, a link i386 ->
// x86_64 and its own link texbin -> x86_64. The chain /usr/texbin ->
// Programs/texbin -> .DefaultTeX/Contents leads into the first bundle.
// Plain POSIX calls on host paths: the layout is made fast, not through the
// code under test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "ostrakel-make-layout: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

void makeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) die(part);
  }
}

void writeFile(const std::string& path, const std::string& text, mode_t mode) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) die(path);
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) die(path);
  close(fd);
  chmod(path.c_str(), mode);
}

void link(const std::string& text, const std::string& path) {
  unlink(path.c_str());
  if (symlink(text.c_str(), path.c_str()) != 0) die(path);
}

const char* kInfo =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n<dict>\n"
    "\t<key>CFBundleName</key>\n\t<string>TeX</string>\n"
    "\t<key>LSMinimumSystemVersion</key>\n\t<string>10.6.0</string>\n"
    "\t<key>LSArchitecturePriority</key>\n\t<array>\n\t\t<string>x86_64</string>\n"
    "\t\t<string>i386</string>\n\t</array>\n"
    "</dict>\n</plist>\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ostrakel-make-layout ROOT COUNT [PREFIX]\n");
    return 2;
  }
  const std::string root = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  const std::string prefix = argc > 3 ? argv[3] : "TeX-";
  const std::string ltd = root + "/Library/TeX/Distributions";
  makeFolders(ltd + "/Programs");
  makeFolders(ltd + "/.DefaultTeX");
  makeFolders(root + "/usr");
  char number[32];
  std::string first;
  for (long i = 0; i < count; ++i) {
    std::snprintf(number, sizeof number, "%05ld", i);
    const std::string name = prefix + number + ".velmar";
    if (first.empty()) first = name;
    const std::string contents = ltd + "/" + name + "/Contents";
    const std::string programs = contents + "/Programs";
    makeFolders(programs + "/x86_64");
    writeFile(contents + "/Info.plist", kInfo, 0644);
    writeFile(programs + "/x86_64/tex", "#!/bin/sh\nexit 0\n", 0755);
    writeFile(programs + "/x86_64/pdftex", "#!/bin/sh\nexit 0\n", 0755);
    link("x86_64", programs + "/i386");
    link("x86_64", programs + "/texbin");
  }
  link("../Library/TeX/Distributions/Programs/texbin", root + "/usr/texbin");
  link("../.DefaultTeX/Contents/Programs/texbin", ltd + "/Programs/texbin");
  if (!first.empty()) link("../" + first + "/Contents", ltd + "/.DefaultTeX/Contents");
  return 0;
}
