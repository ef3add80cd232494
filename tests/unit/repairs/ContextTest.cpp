// The context: the texbin chain first, then the bridges' own links.
#include <gtest/gtest.h>

#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "RepairFixture.h"

namespace ostrakel::testing {
namespace {

class ContextTest : public RepairTest {
protected:
  void SetUp() override {
    RepairTest::SetUp();
    if (firstArch().empty()) GTEST_SKIP() << "this machine runs no known architecture";
  }
};

TEST_F(ContextTest, BridgesAreNotReadWhileTheChainIsUnsound) {
  makeBridge("Sample", {firstArch()});
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());
  EXPECT_EQ(fs().listings(), 0);
}

TEST_F(ContextTest, SoundChainStillNeedsEveryBridgeLinked) {
  makeSoundChain("Sample");
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
  const std::string other = makeBridge("Other", {firstArch()});
  EXPECT_FALSE(Tools4Ostrakel::isContextOK()) << "Other has no texbin link";
  makeLink(other + "/Contents/Programs/texbin", firstArch());
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
}

TEST_F(ContextTest, RepairMakesTheContextSound) {
  makeSoundChain("Sample");
  const std::string other = makeBridge("Other", {firstArch()});
  makeLink(other + "/Contents/Programs/texbin", "nonsense");
  std::filesystem::remove(host("/usr/texbin"));
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
  EXPECT_EQ(linkText(other + "/Contents/Programs/texbin"), firstArch());
}

TEST_F(ContextTest, BridgesAreRepairedEvenWhenTheChainFailsAndItsErrorWins) {
  makeSoundChain("Sample");
  std::filesystem::remove(host("/Library/TeX/Distributions/Programs/texbin"));
  const std::string other = makeBridge("Other", {firstArch()});
  fs().failOn(Op::Link, "/Library/TeX/Distributions/Programs/texbin");
  fs().failOn(Op::Link, other + "/Contents/Programs/texbin");
  const std::string third = makeBridge("Third", {firstArch()});
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fixContextOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 702);
  EXPECT_EQ(linkText(third + "/Contents/Programs/texbin"), firstArch());
}

TEST_F(ContextTest, BridgeFailureIsReportedWhenTheChainIsFine) {
  makeSoundChain("Sample");
  const std::string other = makeBridge("Other", {firstArch()});
  fs().failOn(Op::Link, other + "/Contents/Programs/texbin");
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fixContextOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, ScriptedFileSystem::injectedError(other)->code);
}

TEST_F(ContextTest, SuccessfulRepairReportsNoLeftoverListingError) {
  makeSoundChain("Sample");
  makeFolder("/Volumes/Empty");  // a volume without distributions
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr) << error->description();
}

}  // namespace
}  // namespace ostrakel::testing
