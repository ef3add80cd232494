// The texbin chain check and repair in temporary roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"

namespace ostrakel::testkit {
namespace {

const std::string kDefaultTeX = "/Library/TeX/Distributions/.DefaultTeX";
const std::string kContents = kDefaultTeX + "/Contents";
const std::string kPrograms = "/Library/TeX/Distributions/Programs/texbin";
const std::string kUsr = "/usr/texbin";
const std::string kProgramsText = "../.DefaultTeX/Contents/Programs/texbin";
const std::string kUsrText = "../Library/TeX/Distributions/Programs/texbin";

class TexbinsTest : public LayoutTest {
protected:
  void SetUp() override {
    LayoutTest::SetUp();
    if (firstArch().empty()) GTEST_SKIP() << "this machine runs no known architecture";
  }
};

TEST_F(TexbinsTest, SoundChainIsAcceptedAndLeftUntouched) {
  makeSoundChain("Sample");
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(files().changes().empty()) << files().changes().front();
}

TEST_F(TexbinsTest, ChainWithoutProgramsIsNotSound) {
  // A chain whose programs are gone.
  root.link(kDefaultTeX + "/Contents", "../Gone.velmar/Contents");
  root.link(kPrograms, kProgramsText);
  root.link(kUsr, kUsrText);
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, CheckRefusesDefaultTeXThatIsALinkOrFile) {
  makeSoundChain("Sample");
  ASSERT_TRUE(Tools4Ostrakel::are_texbins_OK());
  // Move the real folder aside and put a link to it in its place: the
  // programs are still reachable, but the folder is not a real one.
  std::filesystem::rename(root.host(kDefaultTeX), root.host("/Library/TeX/Distributions/Elsewhere"));
  root.link(kDefaultTeX, "Elsewhere");
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, CheckAcceptsAbsoluteUsrLinkAndRepairLeavesIt) {
  makeSoundChain("Sample");
  std::filesystem::remove(root.host(kUsr));
  root.link(kUsr, kPrograms);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kUsr), kPrograms);
}

TEST_F(TexbinsTest, RepairWithoutDefaultTeXLinksButAnswersFalse) {
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kPrograms), kProgramsText);
  EXPECT_EQ(root.linkText(kUsr), kUsrText);
  EXPECT_FALSE(root.exists(kDefaultTeX)) << "the folder is not made here";
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, RepairRemovesWrongDefaultTeXItemsWithoutMakingAFolder) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"file", [&] { root.file(kDefaultTeX); }},
      {"link to a folder",
       [&] {
         root.folder("/Library/TeX/Distributions/Real/Contents");
         root.link(kDefaultTeX, "Real");
       }},
      {"dangling link", [&] { root.link(kDefaultTeX, "Nowhere"); }},
  };
  for (const auto& [what, make] : cases) {
    SCOPED_TRACE(what);
    std::error_code ignored;
    std::filesystem::remove_all(root.host("/Library"), ignored);
    make();
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_FALSE(root.exists(kDefaultTeX));
    if (what == "link to a folder") {
      EXPECT_TRUE(root.isRealFolder("/Library/TeX/Distributions/Real/Contents")) << "the target keeps its content";
    }
  }
}

TEST_F(TexbinsTest, RealUsrFolderIsReplacedWhenTheChainOffersPrograms) {
  makeSoundChain("Sample");
  std::filesystem::remove(root.host(kUsr));
  root.program(kUsr + "/tex");
  root.file(kUsr + "/sub/readme");
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kUsr), kUsrText);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, UsrWithoutProgramsIsRelinkedEvenWhenTheChainOffersNone) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"file", [&] { root.file(kUsr); }},
      {"empty folder", [&] { root.folder(kUsr); }},
      {"dangling link", [&] { root.link(kUsr, "/nowhere"); }},
      {"link to a folder without TeX", [&] {
         root.folder("/opt/bin");
         root.link(kUsr, "/opt/bin");
       }},
  };
  for (const auto& [what, make] : cases) {
    SCOPED_TRACE(what);
    std::error_code ignored;
    std::filesystem::remove_all(root.host("/usr"), ignored);
    std::filesystem::remove_all(root.host("/Library"), ignored);
    root.folder(kDefaultTeX);
    make();
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(root.linkText(kUsr), kUsrText);
    EXPECT_EQ(root.linkText(kPrograms), kProgramsText);
  }
}

TEST_F(TexbinsTest, WorkingUsrFolderIsKeptWhenTheChainOffersNone) {
  root.folder(kDefaultTeX);
  root.program(kUsr + "/tex");
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(root.isRealFolder(kUsr));
  EXPECT_TRUE(root.exists(kUsr + "/tex"));
  EXPECT_FALSE(root.exists(kContents)) << "no bridge leads there, nothing is adopted";
}

TEST_F(TexbinsTest, DistributionBehindUsrTexbinIsAdopted) {
  const std::string arch = firstArch();
  root.bundle(kLTD, "Other", {arch});
  const std::string sample = root.bundle(kLTD, "Sample", {arch});
  root.folder(kDefaultTeX);
  // A direct installation: /usr/texbin points straight at a bridge's binaries.
  root.link(kUsr, sample + "/Contents/Programs/" + arch);
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kUsr), sample + "/Contents/Programs/" + arch) << "the working link is kept";
  EXPECT_EQ(root.linkText(kContents), "../Sample.velmar/Contents");
  EXPECT_EQ(root.linkText(sample + "/Contents/Programs/texbin"), arch);
  EXPECT_FALSE(root.exists("/Library/TeX/Distributions/Other.velmar/Contents/Programs/texbin"));
  // The chain now leads to the same programs as /usr/texbin.
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, RealUsrFolderBehindABridgeArchitectureIsAdopted) {
  const std::string arch = firstArch();
  root.program(kUsr + "/tex");
  // The bridge's binary set is the direct installation itself.
  const std::string bundle = "/Library/TeX/Distributions/Direct.velmar";
  root.link(bundle + "/Contents/Programs/" + arch, kUsr);
  root.folder(kDefaultTeX);
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(root.isRealFolder(kUsr));
  EXPECT_EQ(root.linkText(kContents), "../Direct.velmar/Contents");
  EXPECT_EQ(root.linkText(bundle + "/Contents/Programs/texbin"), arch);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, FailedStepsAreWrappedAndTheRepairGoesOn) {
  root.folder(kDefaultTeX);
  files().failOn(Op::Link, kPrograms);
  files().failOn(Op::Link, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 702) << "the first failure is the one reported";
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, EIO);
  EXPECT_EQ(error->userInfo.localizedDescription,
            "Failed to link /Library/TeX/Distributions/Programs/texbin to "
            "../.DefaultTeX/Contents/Programs/texbin");
  // /usr/texbin was still attempted after the first failure.
  EXPECT_NE(std::find(files().changes().begin(), files().changes().end(), "link " + kUsr), files().changes().end());
}

TEST_F(TexbinsTest, FailedUsrLinkIsReportedAs701) {
  root.folder(kDefaultTeX);
  files().failOn(Op::Link, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 701);
  EXPECT_EQ(root.linkText(kPrograms), kProgramsText);
}

TEST_F(TexbinsTest, FailedDefaultTeXRemovalIsReportedAs704) {
  root.file(kDefaultTeX);
  files().failOn(Op::Remove, kDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 704);
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(root.linkText(kPrograms), kProgramsText) << "later steps still run";
}

TEST_F(TexbinsTest, NoSlotGivenStillAnswersFalse) {
  root.folder(kDefaultTeX);
  files().failOn(Op::Link, kPrograms);
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(nullptr));
}

TEST_F(TexbinsTest, EarlierErrorInTheCallersSlotIsKept) {
  root.folder(kDefaultTeX);
  files().failOn(Op::Link, kPrograms);
  ErrorRef earlier = makeError("Earlier", 1, {});
  ErrorRef slot = earlier;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&slot));
  EXPECT_EQ(slot, earlier);
}

TEST_F(TexbinsTest, AdoptionFailuresCarryTheLinksOwnError) {
  const std::string arch = firstArch();
  const std::string sample = root.bundle(kLTD, "Sample", {arch});
  root.folder(kDefaultTeX);
  root.link(kUsr, sample + "/Contents/Programs/" + arch);
  // A mounted volume without distributions makes the listing report an error;
  // that error is not what went wrong with the link.
  root.folder("/Volumes/Empty");
  files().failOn(Op::Link, kContents);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 704);
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, EIO);
  // The bridge's own link is written whatever the first link gave.
  EXPECT_EQ(root.linkText(sample + "/Contents/Programs/texbin"), arch);
}

TEST_F(TexbinsTest, FailedBridgeLinkWhileAdoptingIsReportedAs705) {
  const std::string arch = firstArch();
  const std::string sample = root.bundle(kLTD, "Sample", {arch});
  root.folder(kDefaultTeX);
  root.link(kUsr, sample + "/Contents/Programs/" + arch);
  files().failOn(Op::Link, sample + "/Contents/Programs/texbin");
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 705);
  EXPECT_EQ(root.linkText(kContents), "../Sample.velmar/Contents");
}

}  // namespace
}  // namespace ostrakel::testkit
