// Fuzzes the reading of a distribution bundle: the input decides the bundle's
// name, what stands at Contents/Info.plist (its bytes come from the input),
// and the shape of Contents/Programs (entries that are folders, files,
// executables or links, inside and outside the bundle, looping or dangling).
// The shape is built on disk inside a private system root and read through
// the real file manager. A bundle that reads must satisfy the reader's
// promises, and activating it must leave its own texbin link naming the
// entry asked for.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/SystemRoot.h"

using namespace ostrakel;

namespace {

std::string hostRoot;
const std::string kDistributions = "/Library/TeX/Distributions";

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

int removeOne(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

// Every change below is made from a folder opened without following any
// symbolic link, and nothing is created over an existing item: the links the
// input makes may point anywhere on the host, and writing through one of them
// would change files outside the private root.
int openParent(const std::string& path, std::string* name) {
  if (path.compare(0, hostRoot.size() + 1, hostRoot + "/") != 0) return -1;
  const std::string rel = path.substr(hostRoot.size() + 1);
  int dir = open(hostRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  size_t start = 0;
  while (dir >= 0) {
    size_t slash = rel.find('/', start);
    if (slash == std::string::npos) {
      *name = rel.substr(start);
      return dir;
    }
    int next = openat(dir, rel.substr(start, slash - start).c_str(),
                      O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(dir);
    dir = next;
    start = slash + 1;
  }
  return -1;
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
  std::string name;
  int dir = openParent(path, &name);
  if (dir < 0) return;
  int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  close(dir);
  if (fd < 0) return;
  (void)!write(fd, bytes.data(), bytes.size());
  fchmod(fd, mode);
  close(fd);
}

void makeFolder(const std::string& path) {
  std::string name;
  int dir = openParent(path, &name);
  if (dir < 0) return;
  mkdirat(dir, name.c_str(), 0755);
  close(dir);
}

void makeLink(const std::string& text, const std::string& path) {
  std::string name;
  int dir = openParent(path, &name);
  if (dir < 0) return;
  (void)!symlinkat(text.c_str(), dir, name.c_str());
  close(dir);
}

std::string pick(FuzzedDataProvider& in, std::initializer_list<const char*> choices) {
  size_t i = in.ConsumeIntegralInRange<size_t>(0, choices.size() - 1);
  return *(choices.begin() + i);
}

// A name without "/" or NUL, never "." or "..".
std::string safeName(FuzzedDataProvider& in) {
  std::string name = in.ConsumeRandomLengthString(24);
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "x";
  return name;
}

std::string entryName(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) return safeName(in);
  return pick(in, {"x86_64", "i386", "ppc", "ppc64", "texbin", "x86_64-darwin", "universal"});
}

void makeProgramFolder(FuzzedDataProvider& in, const std::string& folder) {
  makeFolder(folder);
  int count = in.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < count; ++i) {
    std::string program = folder + "/" + pick(in, {"tex", "pdftex", "etex", "xetex", "luatex", "pdfetex", "bibtex"});
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: writeFile(program, "#!/bin/sh\n", 0755); break;
      case 1: writeFile(program, "#!/bin/sh\n", 0644); break;
      case 2: makeFolder(program); break;
      default: makeLink(pick(in, {"../x86_64/tex", "/bin/sh", "tex", "missing"}), program);
    }
  }
}

void buildProgramsEntry(FuzzedDataProvider& in, const std::string& programs) {
  const std::string path = programs + "/" + entryName(in);
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: makeProgramFolder(in, path); break;
    case 1: writeFile(path, "#!/bin/sh\n", in.ConsumeBool() ? 0755 : 0644); break;
    case 2: makeFolder(path); break;
    default: {
      std::string text = in.ConsumeBool() ? pick(in, {"x86_64", "i386", "..", ".", "/", "x86_64-darwin",
                                                      "../../../../..", "/Library/TeX/Distributions",
                                                      "/bin", "texbin", "missing"})
                                          : in.ConsumeRandomLengthString(32);
      if (!text.empty() && text.find('\0') == std::string::npos) makeLink(text, path);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/ostrakel-fuzz-bundle.XXXXXX";
  hostRoot = mkdtemp(pattern);
  systemroot::setHostRoot(hostRoot);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  nftw((hostRoot + "/Library").c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
  std::string folder = hostRoot + kDistributions;
  for (const char* part : {"/Library", "/Library/TeX", "/Library/TeX/Distributions", "/Library/TeX/Distributions/.DefaultTeX"})
    makeFolder((hostRoot + part));

  std::string name = in.ConsumeBool() ? pick(in, {"Sample TeX 2015", "2015", "2015(External)", "(External)",
                                                  "12(a)(b)", "2015 basic"})
                                      : safeName(in);
  name += pick(in, {".velmar", ".velmar", ".velmar", ".VELMAR", ".velmarx", ""});
  const std::string bundle = folder + "/" + name;
  makeFolder(bundle);
  const std::string contents = bundle + "/Contents";
  makeFolder(contents);
  const std::string programs = contents + "/Programs";
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: break;                                       // no Programs folder
    case 1: writeFile(programs, "", 0644); break;        // a file in its place
    case 2: makeLink("/Library/TeX", programs); break;
    default: {
      makeFolder(programs);
      int entries = in.ConsumeIntegralInRange<int>(0, 6);
      for (int i = 0; i < entries; ++i) buildProgramsEntry(in, programs);
    }
  }
  const std::string info = contents + "/Info.plist";
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: break;
    case 1: makeFolder(info); break;
    case 2: makeLink("Info.plist", info); break;
    default: writeFile(info, in.ConsumeRemainingBytesAsString(), 0644);
  }

  ErrorRef error;
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{kDistributions + "/" + name}, &error);
  if (!bridge) return 0;
  const ArchitectureArray entries = bridge->architectures();
  require(!entries.empty(), "a bundle that reads offers a binary set");
  require(bridge->architectures4UI().size() == entries.size() + 1, "one presentation entry more");
  const StringList& runnable = Tools4Ostrakel::architectureNames();
  for (const ArchitectureRef& entry : entries) {
    require(std::find(runnable.begin(), runnable.end(), entry->source()) != runnable.end(),
            "every entry's source is a runnable architecture name");
    require(bridge->architectureWithSource(entry->source()) != nullptr, "an entry is found by its source");
  }
  (void)bridge->description();
  (void)bridge->longDescription();

  const std::string source = entries.front()->source();
  ErrorRef activationError;
  if (Tools4Ostrakel::activateBridge(bridge, source, &activationError)) {
    char text[4096];
    ssize_t n = readlink((programs + "/texbin").c_str(), text, sizeof text);
    require(n > 0 && std::string(text, static_cast<size_t>(n)) == source,
            "after activation the bundle's texbin link names the entry");
  }
  return 0;
}
