// Discovery over the root and the mounted volumes, the order of bridges, and
// the check and repair of each bridge's own texbin link.
#include <gtest/gtest.h>

#include "tests/support/TempRoot.h"
#include "Library/Bridge/Bridge4Ostrakel.h"

namespace ostrakel {
namespace {

using testkit::kLTD;
using testkit::TempRoot;

std::vector<std::string> displayNames(const BridgeArray& bridges) {
  std::vector<std::string> out;
  for (const auto& bridge : bridges) out.push_back(bridge->displayName());
  return out;
}

BridgeRef record(const std::string& display, const std::string& header, const std::string& number,
                 const std::string& trailer, std::optional<double> date) {
  auto bridge = std::make_shared<Bridge4Ostrakel>();
  bridge->setDisplayName(display);
  bridge->setHeaderName(header);
  bridge->setNumberName(number);
  bridge->setTrailerName(trailer);
  if (date) bridge->setModificationDate(PlistDate{*date});
  return bridge;
}

TEST(Sort, FourKeysThenStable) {
  BridgeArray bridges = {
      record("undated", "", "", "", std::nullopt),
      record("old", "", "", "", 100),
      record("new", "", "", "", 300),
      record("n10", "", "10", "", 200),
      record("n9", "", "9", "", 200),
      record("hA", "A", "1", "", 200),
      record("hb", "b", "1", "", 200),
      record("t-a", "", "10", "(a)", 200),
      record("t-B", "", "10", "(B)", 200),
      record("tie1", "", "", "", 50),
      record("tie2", "", "", "", 50),
      record("undated2", "Z", "", "", std::nullopt),
  };
  EXPECT_EQ(displayNames(Tools4Ostrakel::sortedBridges(bridges)),
            (std::vector<std::string>{"new", "hb", "hA", "t-B", "t-a", "n10", "n9", "old", "tie1", "tie2",
                                      "undated2", "undated"}));
  const auto keys = Tools4Ostrakel::sortDescriptors();
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].keyPath, "modificationDate");
  EXPECT_FALSE(keys[0].ascending);
  EXPECT_TRUE(keys[2].ascending);
}

TEST(Discovery, RootBridgesAreListedOnceAndVolumeCopiesDropped) {
  TempRoot root;
  root.setModificationTime(root.bundle(kLTD, "Sample TeX 2014"), 1000);
  root.setModificationTime(root.bundle(kLTD, "Sample TeX 2015"), 2000);
  root.bundle(std::string("/Volumes/Ext") + kLTD, "Copy TeX");
  root.bundle(std::string("/Volumes/Ext") + kLTD, "2016");
  root.bundle(std::string("/Volumes/.Hidden") + kLTD, "2017");
  root.file(std::string(kLTD) + "/notes.txt");
  root.bundle(kLTD, "Broken", {});
  ErrorRef error;
  BridgeArray bridges = Tools4Ostrakel::getActualBridgesOrReturnError(&error);
  auto names = displayNames(bridges);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[1], "Sample TeX 2015");
  EXPECT_EQ(names[2], "Sample TeX 2014");
  EXPECT_EQ(names[0], "2016");
  // The broken bundle of the root volume's second pass is the reported error.
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 110);
}

TEST(Discovery, VolumeOnlyBridges) {
  TempRoot root;
  root.bundle(std::string("/Volumes/Ext") + kLTD, "Alpha");
  root.bundle(std::string("/Volumes/Ext") + kLTD, "Beta");
  root.bundle(std::string("/Volumes/Ext") + kLTD, "2014");
  root.bundle(std::string("/Volumes/Ext") + kLTD, "2015");
  ErrorRef error;
  auto names = displayNames(Tools4Ostrakel::getActualBridgesOrReturnError(&error));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"2014", "2015", "Alpha"}));
  // The missing root folder is the reported error.
  EXPECT_NE(error, nullptr);
}

TEST(Discovery, NothingInstalled) {
  TempRoot root;
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::getActualBridgesOrReturnError(&error).empty());
  EXPECT_NE(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::areBridgesOK());
}

TEST(BridgeRepair, MissingAndMergedLinksAreRepaired) {
  TempRoot root;
  const std::string sound = root.bundle(kLTD, "Sound", {"x86_64", "i386"}, "i386");
  const std::string missing = root.bundle(kLTD, "Missing", {"i386", "x86_64"});
  const std::string merged = root.bundle(kLTD, "Merged", {"x86_64"}, "i386");
  root.link(merged + "/Contents/Programs/i386", "x86_64");
  EXPECT_FALSE(Tools4Ostrakel::areBridgesOK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fixBridgesOrReturnError(&error));
  EXPECT_EQ(root.linkText(sound + "/Contents/Programs/texbin"), "i386");
  EXPECT_EQ(root.linkText(missing + "/Contents/Programs/texbin"), "x86_64");
  EXPECT_EQ(root.linkText(merged + "/Contents/Programs/texbin"), "x86_64");
  EXPECT_TRUE(Tools4Ostrakel::areBridgesOK());
}

TEST(BridgeRepair, AFolderInThePlaceOfTheLinkIsReplaced) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Folder");
  root.file(path + "/Contents/Programs/texbin/stray");
  EXPECT_FALSE(Tools4Ostrakel::areBridgesOK());
  EXPECT_TRUE(Tools4Ostrakel::fixBridgesOrReturnError(nullptr));
  EXPECT_EQ(root.linkText(path + "/Contents/Programs/texbin"), "x86_64");
}

}  // namespace
}  // namespace ostrakel
