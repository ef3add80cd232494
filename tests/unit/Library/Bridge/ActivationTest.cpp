// Activation by display name, by URL and by architecture alone, and the check
// that skips an activation already in place.
#include <gtest/gtest.h>

#include "tests/support/TempRoot.h"
#include "Library/Bridge/Bridge4Ostrakel.h"

namespace ostrakel {
namespace {

using testkit::kLTD;
using testkit::TempRoot;

const std::string kDefaultContents = std::string(kLTD) + "/.DefaultTeX/Contents";

TEST(Activation, ByNameWritesBothLinks) {
  TempRoot root;
  const std::string a = root.bundle(kLTD, "Sample TeX 2015", {"x86_64", "i386"}, "x86_64");
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeWithName("Sample TeX 2015", "i386", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kDefaultContents), "../Sample TeX 2015.velmar/Contents");
  EXPECT_EQ(root.linkText(a + "/Contents/Programs/texbin"), "i386");

  // Activating again changes nothing and still succeeds.
  struct stat before {}, after {};
  lstat(root.host(kDefaultContents).c_str(), &before);
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeWithName("Sample TeX 2015", "i386", &error));
  lstat(root.host(kDefaultContents).c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(Activation, ByNameNeedsTheArchitectureAndReachesOtherVolumes) {
  TempRoot root;
  root.bundle(kLTD, "2015", {"x86_64"});
  const std::string external = root.bundle(std::string("/Volumes/X") + kLTD, "2016", {"i386"});
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeWithName("2015", "i386", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 711);
  EXPECT_EQ(root.linkText(kDefaultContents), "");

  error.reset();
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeWithName("2016", "i386", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kDefaultContents), "../../../../Volumes/X/Library/TeX/Distributions/2016.velmar/Contents");
  EXPECT_EQ(root.linkText(external + "/Contents/Programs/texbin"), "i386");
}

TEST(Activation, Failures) {
  TempRoot root;
  ErrorRef error;
  // Nothing installed: the listing error.
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeWithName("Sample", "x86_64", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_NE(error->code, 711);

  const std::string path = root.bundle(kLTD, "Sample");
  error.reset();
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeWithName("sample", "x86_64", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->description(),
            "Error Domain=OstrakelErrorDomain Code=711 \"Bad distribution name\" "
            "UserInfo={NSLocalizedDescription=Bad distribution name}");
  EXPECT_EQ(root.linkText(kDefaultContents), "");

  error.reset();
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeAtURL(FileURL{path}, "i386", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 111);
  EXPECT_EQ(error->userInfo.url, FileURL{path}.absoluteString());

  error.reset();
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeAtURL(std::nullopt, "i386", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 111);
  EXPECT_FALSE(error->userInfo.url);

  error.reset();
  EXPECT_FALSE(Tools4Ostrakel::activateBridgeAtURL(FileURL{std::string(kLTD) + "/None.velmar"}, "x86_64", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 110);
  EXPECT_EQ(root.linkText(kDefaultContents), "");
}

TEST(Activation, WithoutURLTheNewestBundleWins) {
  TempRoot root;
  const std::string older = root.bundle(kLTD, "2014", {"x86_64", "i386"});
  const std::string newer = root.bundle(kLTD, "2015", {"x86_64"});
  const std::string newest = root.bundle(kLTD, "2016", {"x86_64"});
  root.setModificationTime(older, 1000);
  root.setModificationTime(newer, 2000);
  root.setModificationTime(newest, 3000);
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeAtURL(std::nullopt, "x86_64", nullptr));
  EXPECT_EQ(root.linkText(kDefaultContents), "../2016.velmar/Contents");
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeAtURL(std::nullopt, "i386", nullptr));
  EXPECT_EQ(root.linkText(kDefaultContents), "../2014.velmar/Contents");
  EXPECT_EQ(root.linkText(older + "/Contents/Programs/texbin"), "i386");
}

TEST(Activation, WithoutSourceTheDefaultEntryIsLinkedByItsFolderName) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Renamed", {"i386"});
  root.link(path + "/Contents/Programs/x86_64", "i386");
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  ASSERT_EQ(bridge->defaultArchitecture()->name(), "i386");
  ASSERT_EQ(bridge->defaultArchitecture()->source(), "x86_64");
  EXPECT_TRUE(Tools4Ostrakel::activateBridge(bridge, std::nullopt, nullptr));
  EXPECT_EQ(root.linkText(path + "/Contents/Programs/texbin"), "x86_64");
  EXPECT_TRUE(Tools4Ostrakel::areBridgesOK());
}

TEST(Activation, ReplacesWhateverStandsInTheWay) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample");
  root.file(std::string(kLTD) + "/.DefaultTeX");  // a file where the folder belongs
  EXPECT_TRUE(Tools4Ostrakel::activateBridgeWithName("Sample", "x86_64", nullptr));
  EXPECT_EQ(root.linkText(kDefaultContents), "../Sample.velmar/Contents");
  EXPECT_EQ(root.linkText(path + "/Contents/Programs/texbin"), "x86_64");
}

TEST(SkipCheck, OnlyTheActiveBridgeInASoundContext) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Sample", {"x86_64"});
  root.link(path + "/Contents/Programs/i386", "x86_64");
  root.link("/usr/texbin", "../Library/TeX/Distributions/Programs/texbin");
  root.link(std::string(kLTD) + "/Programs/texbin", "../.DefaultTeX/Contents/Programs/texbin");
  const FileURL url{path};
  EXPECT_FALSE(Tools4Ostrakel::isActiveBridgeAtURL(url, std::string("x86_64")));
  ASSERT_TRUE(Tools4Ostrakel::activateBridgeAtURL(url, "x86_64", nullptr));
  EXPECT_TRUE(Tools4Ostrakel::isActiveBridgeAtURL(url, std::string("x86_64")));
  // Compared with the entry's names, not its source.
  EXPECT_FALSE(Tools4Ostrakel::isActiveBridgeAtURL(url, std::string("i386")));
  EXPECT_FALSE(Tools4Ostrakel::isActiveBridgeAtURL(url, std::nullopt));
  EXPECT_FALSE(Tools4Ostrakel::isActiveBridgeAtURL(std::nullopt, std::string("x86_64")));
  // An unsound bridge elsewhere makes the context unsound.
  root.bundle(kLTD, "Other");
  EXPECT_FALSE(Tools4Ostrakel::isActiveBridgeAtURL(url, std::string("x86_64")));
}

}  // namespace
}  // namespace ostrakel
