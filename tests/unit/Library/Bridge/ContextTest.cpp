// The context: the texbin chain first, then the bridges' own links.
#include <gtest/gtest.h>

#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"

namespace ostrakel::testkit {
namespace {

class ContextTest : public LayoutTest {
protected:
  void SetUp() override {
    LayoutTest::SetUp();
    if (firstArch().empty()) GTEST_SKIP() << "this machine runs no known architecture";
  }
};

TEST_F(ContextTest, BridgesAreNotReadWhileTheChainIsUnsound) {
  root.bundle(kLTD, "Sample", {firstArch()});
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());
  EXPECT_EQ(files().listings(), 0);
}

TEST_F(ContextTest, SoundChainStillNeedsEveryBridgeLinked) {
  makeSoundChain("Sample");
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
  const std::string other = root.bundle(kLTD, "Other", {firstArch()});
  EXPECT_FALSE(Tools4Ostrakel::isContextOK()) << "Other has no texbin link";
  root.link(other + "/Contents/Programs/texbin", firstArch());
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
}

TEST_F(ContextTest, RepairMakesTheContextSound) {
  makeSoundChain("Sample");
  const std::string other = root.bundle(kLTD, "Other", {firstArch()});
  root.link(other + "/Contents/Programs/texbin", "nonsense");
  std::filesystem::remove(root.host("/usr/texbin"));
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
  EXPECT_EQ(root.linkText(other + "/Contents/Programs/texbin"), firstArch());
}

TEST_F(ContextTest, BridgesAreRepairedEvenWhenTheChainFailsAndItsErrorWins) {
  makeSoundChain("Sample");
  std::filesystem::remove(root.host("/Library/TeX/Distributions/Programs/texbin"));
  const std::string other = root.bundle(kLTD, "Other", {firstArch()});
  files().failOn(Op::Link, "/Library/TeX/Distributions/Programs/texbin");
  files().failOn(Op::Link, other + "/Contents/Programs/texbin");
  const std::string third = root.bundle(kLTD, "Third", {firstArch()});
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fixContextOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 702);
  EXPECT_EQ(root.linkText(third + "/Contents/Programs/texbin"), firstArch());
}

TEST_F(ContextTest, BridgeFailureIsReportedWhenTheChainIsFine) {
  makeSoundChain("Sample");
  const std::string other = root.bundle(kLTD, "Other", {firstArch()});
  files().failOn(Op::Link, other + "/Contents/Programs/texbin");
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fixContextOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, EIO);
}

TEST_F(ContextTest, SuccessfulRepairReportsNoLeftoverListingError) {
  makeSoundChain("Sample");
  root.folder("/Volumes/Empty");  // a volume without distributions
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr) << error->description();
}

}  // namespace
}  // namespace ostrakel::testkit
