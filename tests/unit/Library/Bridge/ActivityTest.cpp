// Which entry a bridge's texbin link selects and whether .DefaultTeX/Contents
// designates the bridge.
#include <gtest/gtest.h>

#include "tests/support/TempRoot.h"
#include "Library/Bridge/Bridge4Ostrakel.h"

namespace ostrakel {
namespace {

using testkit::kLTD;
using testkit::TempRoot;

const std::string kDefaultContents = std::string(kLTD) + "/.DefaultTeX/Contents";

BridgeRef read(const std::string& path) { return Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr); }

TEST(ActiveEntry, SelectedByTheBundleLink) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample", {"x86_64", "i386"}, "i386");
  BridgeRef bridge = read(path);
  ASSERT_NE(bridge, nullptr);
  ASSERT_NE(bridge->activeArchitecture(), nullptr);
  EXPECT_EQ(bridge->activeArchitecture()->source(), "i386");

  // "i386" merged into the "x86_64" entry is no entry's source.
  const std::string merged = root.bundle(kLTD, "Merged", {"x86_64"}, "i386");
  root.link(merged + "/Contents/Programs/i386", "x86_64");
  bridge = read(merged);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->activeArchitecture(), nullptr);
}

TEST(ActiveEntry, FallsBackOnUsrTexbin) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample", {"x86_64", "i386"});
  root.link("/usr/texbin", path + "/Contents/Programs/x86_64");
  BridgeRef bridge = read(path);
  ASSERT_NE(bridge->activeArchitecture(), nullptr);
  EXPECT_EQ(bridge->activeArchitecture()->source(), "x86_64");

  // The regular chain ends in "texbin", which selects nothing.
  root.link("/usr/texbin", "../Library/TeX/Distributions/Programs/texbin");
  EXPECT_EQ(read(path)->activeArchitecture(), nullptr);
}

TEST(Activity, TheThreeWaysOfDesignatingABridge) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample TeX 2015");
  const std::string other = root.bundle(kLTD, "Other");
  struct Case {
    std::string text;
    bool active;
  };
  const Case cases[] = {
      {"../Sample TeX 2015.velmar/Contents", true},
      {"../Sample TeX 2015.velmar/Contents/", true},
      {"./../Sample TeX 2015.velmar/Contents", true},
      {"../Other.velmar/../Sample TeX 2015.velmar/Contents", true},
      {"../Other.velmar/Contents", false},
      {path + "/Contents", false},
      {"../Sample TeX 2015.velmar", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    root.link(kDefaultContents, c.text);
    EXPECT_EQ(read(path)->isActive(), c.active);
  }

  // A detour through another link reaches the same folder.
  root.link(std::string(kLTD) + "/Alias", "Sample TeX 2015.velmar");
  root.link(kDefaultContents, "../Alias/Contents");
  EXPECT_TRUE(read(path)->isActive());
  EXPECT_FALSE(read(other)->isActive());
}

TEST(Activity, NoLinkNoActiveBridge) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample");
  EXPECT_FALSE(read(path)->isActive());
  root.folder(kDefaultContents);
  EXPECT_FALSE(read(path)->isActive());
}

}  // namespace
}  // namespace ostrakel
