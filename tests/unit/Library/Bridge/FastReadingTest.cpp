// Discovery and activation by name read each folder and bundle once, and
// activation only the bundles that decide it. Their results must be those of
// the plain way: every bundle read through the basic file operations, the
// root folder a second time as the first volume's, and the whole sorted list
// walked.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/Errors.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/Path.h"
#include "tests/support/ForwardingFileSystem.h"
#include "tests/support/TempRoot.h"

namespace ostrakel {
namespace {

using testkit::ForwardingFileSystem;
using testkit::kLTD;
using testkit::TempRoot;

// The plain way, step by step.
BridgeArray plainBridgesAt(const std::string& folder, ErrorRef* first) {
  BridgeArray bridges;
  if (auto names = fileManager().contentsOfDirectory(folder, first))
    for (const std::string& name : *names) {
      if (path::extension(name) != "velmar") continue;
      BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{folder + "/" + name}, slotIfEmpty(first));
      if (bridge && bridge->canBeActive()) bridges.push_back(bridge);
    }
  return bridges;
}

BridgeArray plainDiscovery(ErrorRef* error) {
  ErrorRef first;
  BridgeArray listed = plainBridgesAt(kLTD, &first);
  if (!listed.empty()) first.reset();
  for (const std::string& volume : fileManager().mountedVolumes()) {
    ErrorRef local;
    for (const BridgeRef& b : plainBridgesAt(path::appendComponent(volume, kLTD), &local)) {
      bool copy = false;
      for (const BridgeRef& l : listed)
        copy = copy || (l->headerName() == b->headerName() && l->numberName() == b->numberName() &&
                        l->trailerName() == b->trailerName() && l->volumeName() == b->volumeName());
      if (!copy) listed.push_back(b);
    }
    if (!first) first = local;
  }
  *error = first;
  return Tools4Ostrakel::sortedBridges(listed);
}

bool plainActivation(const std::string& name, const std::string& source, ErrorSlot slot) {
  ErrorRef pending;
  BridgeArray bridges = plainDiscovery(&pending);
  if (bridges.empty()) {
    storeFirstError(slot, pending);
    return false;
  }
  for (const BridgeRef& bridge : bridges)
    if (bridge->displayName() == name && bridge->architectureWithSource(source))
      return Tools4Ostrakel::activateBridge(bridge, source, slot);
  storeFirstError(slot, errorWithOstrakelCode(711));
  return false;
}

std::string describe(const ErrorRef& error) { return error ? error->description() : "no error"; }

std::string describe(const BridgeArray& bridges, const ErrorRef& error, bool bridgesOK) {
  std::ostringstream out;
  for (const BridgeRef& b : bridges) {
    ArchitectureRef active = b->activeArchitecture();
    out << b->fileURL().path << " active=" << b->isActive() << " arch=" << (active ? active->source() : "-")
        << " date=" << (b->modificationDate() ? b->modificationDate()->secondsSince1970 : -1) << "\n";
    for (const ArchitectureRef& a : b->architectures()) {
      out << "  " << a->name() << " " << a->source() << " " << a->destinationPath();
      for (const std::string& n : *a->names()) out << " " << n;
      out << "\n";
    }
  }
  return out.str() + describe(error) + (bridgesOK ? " OK" : " not OK");
}

// The links an activation may write, as they stand.
std::string links(const TempRoot& root) {
  std::string out = root.linkText(std::string(kLTD) + "/.DefaultTeX/Contents");
  ErrorRef ignored;
  for (const BridgeRef& b : plainDiscovery(&ignored)) out += " " + root.linkText(Programs_texbin_Path4Ostrakel(b->fileURL()));
  return out;
}

void restore(const TempRoot& root, const std::vector<std::pair<std::string, std::string>>& saved) {
  for (const auto& [path, text] : saved) {
    if (text.empty()) std::filesystem::remove(root.host(path));
    else root.link(path, text);
  }
}

TEST(FastReading, GivesWhatThePlainWayGives) {
  const std::string ext = std::string("/Volumes/Ext") + kLTD;
  const std::string other = std::string("/Volumes/Other") + kLTD;
  // Each layout builds on the root it is given.
  std::vector<std::function<void(TempRoot&)>> layouts = {
      [](TempRoot&) {},  // nothing installed
      [&](TempRoot& r) { r.folder(ext); },
      [&](TempRoot& r) {  // only unreadable bundles
        r.folder(std::string(kLTD) + "/Empty.velmar/Contents/Programs");
        r.file(ext + "/Files.velmar/Contents/Programs/x86_64/tex", "", 0644);
      },
      [&](TempRoot& r) {  // copies on volumes, links inside bundles, an alias of the root volume
        r.setModificationTime(r.bundle(kLTD, "Sample TeX 2015", {"x86_64", "i386"}, "i386"), 2000);
        r.setModificationTime(r.bundle(kLTD, "2016", {"x86_64"}, "x86_64"), 1000);
        r.folder(std::string(kLTD) + "/2017.velmar/Contents");  // unreadable, its copy below is not
        const std::string linked = r.bundle(kLTD, "Linked(Ext)", {"x86_64"});
        r.link(linked + "/Contents/Programs/i386", "x86_64");
        r.link(linked + "/Contents/Programs/ppc", "/Library/TeX/Distributions/2016.velmar/Contents/Programs/x86_64");
        const std::string merged = r.bundle(kLTD, "Merged", {"x86_64-darwin"});
        r.link(merged + "/Contents/Programs/x86_64", "x86_64-darwin");
        r.link(merged + "/Contents/Programs/i386", "x86_64-darwin");
        r.bundle(ext, "2016", {"i386"});
        r.bundle(ext, "2017", {"i386"}, "x86_64");
        r.bundle(ext, "Copy TeX");
        r.bundle(other, "2017", {"x86_64"});
        r.bundle(other, "(Ext)", {"x86_64"});
        r.link("/Volumes/Alias", "/");
        r.link(std::string(kLTD) + "/.DefaultTeX/Contents", "./../2016.velmar/Contents/");
      },
      [&](TempRoot& r) {  // bundles that are links, programs folders behind links
        r.bundle("/opt/tex", "Real", {"x86_64"}, "x86_64");
        r.link(std::string(kLTD) + "/Real.velmar", "/opt/tex/Real.velmar");
        const std::string moved = r.bundle(kLTD, "Moved", {});
        r.program("/opt/programs/x86_64/pdftex");
        r.link(moved + "/Contents/Programs/x86_64", "/opt/programs/x86_64");
        r.link("/usr/texbin", "/opt/programs/x86_64");
        r.link(std::string(kLTD) + "/.DefaultTeX/Contents", "../Real.velmar/Contents");
        r.bundle(ext, "Real", {"i386"});
      },
  };
  const std::vector<std::string> names = {"Sample TeX 2015", "2016", "2017", "Linked(Ext)", "Copy TeX", "(Ext)",
                                          "Real", "Moved", "Merged", "Empty", "Missing"};
  for (size_t i = 0; i < layouts.size(); ++i) {
    SCOPED_TRACE("layout " + std::to_string(i));
    TempRoot root;
    layouts[i](root);
    ErrorRef fastError, plainError;
    const std::string fast = describe(Tools4Ostrakel::getActualBridgesOrReturnError(&fastError), fastError,
                                      Tools4Ostrakel::areBridgesOK());
    // Only the basic operations: folders and programs are read the long way.
    auto basic = std::make_shared<ForwardingFileSystem>();
    setFileManager(basic);
    BridgeArray plainList = plainDiscovery(&plainError);
    bool plainOK = true;
    for (const BridgeRef& b : plainList)
      plainOK = plainOK && b->architectureWithSource(Programs_texbin_Destination4Ostrakel(b->fileURL()));
    EXPECT_EQ(fast, describe(plainList, plainError, plainOK));

    std::vector<std::pair<std::string, std::string>> saved{
        {std::string(kLTD) + "/.DefaultTeX/Contents", root.linkText(std::string(kLTD) + "/.DefaultTeX/Contents")}};
    for (const BridgeRef& b : plainList) {
      const std::string texbin = Programs_texbin_Path4Ostrakel(b->fileURL());
      saved.emplace_back(texbin, root.linkText(texbin));
    }
    setFileManager(nullptr);
    for (const std::string& name : names)
      for (const char* source : {"x86_64", "i386", "ppc"}) {
        SCOPED_TRACE(name + " " + source);
        ErrorRef fastActivation, plainActivationError;
        const bool fastResult = Tools4Ostrakel::activateBridgeWithName(name, source, &fastActivation);
        const std::string fastLinks = links(root);
        restore(root, saved);
        setFileManager(basic);
        EXPECT_EQ(fastResult, plainActivation(name, source, &plainActivationError));
        EXPECT_EQ(describe(fastActivation), describe(plainActivationError));
        EXPECT_EQ(fastLinks, links(root));
        restore(root, saved);
        setFileManager(nullptr);
      }
  }
}

}  // namespace
}  // namespace ostrakel
