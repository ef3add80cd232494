// The texbin chain check and repair in temporary roots.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "Library/Tools4Ostrakel.h"
#include "RepairFixture.h"

namespace ostrakel::testing {
namespace {

const std::string kDefaultTeX = "/Library/TeX/Distributions/.DefaultTeX";
const std::string kContents = kDefaultTeX + "/Contents";
const std::string kPrograms = "/Library/TeX/Distributions/Programs/texbin";
const std::string kUsr = "/usr/texbin";
const std::string kProgramsText = "../.DefaultTeX/Contents/Programs/texbin";
const std::string kUsrText = "../Library/TeX/Distributions/Programs/texbin";

class TexbinsTest : public RepairTest {
protected:
  void SetUp() override {
    RepairTest::SetUp();
    if (firstArch().empty()) GTEST_SKIP() << "this machine runs no known architecture";
  }
};

TEST_F(TexbinsTest, SoundChainIsAcceptedAndLeftUntouched) {
  makeSoundChain("Sample");
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(fs().changes().empty()) << fs().changes().front();
}

TEST_F(TexbinsTest, ChainWithoutProgramsIsNotSound) {
  // A chain whose programs are gone.
  makeLink(kDefaultTeX + "/Contents", "../Gone.velmar/Contents");
  makeLink(kPrograms, kProgramsText);
  makeLink(kUsr, kUsrText);
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, CheckRefusesDefaultTeXThatIsALinkOrFile) {
  makeSoundChain("Sample");
  ASSERT_TRUE(Tools4Ostrakel::are_texbins_OK());
  // Move the real folder aside and put a link to it in its place: the
  // programs are still reachable, but the folder is not a real one.
  std::filesystem::rename(host(kDefaultTeX), host("/Library/TeX/Distributions/Elsewhere"));
  makeLink(kDefaultTeX, "Elsewhere");
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, CheckAcceptsAbsoluteUsrLinkAndRepairLeavesIt) {
  makeSoundChain("Sample");
  std::filesystem::remove(host(kUsr));
  makeLink(kUsr, kPrograms);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(kUsr), kPrograms);
}

TEST_F(TexbinsTest, RepairWithoutDefaultTeXLinksButAnswersFalse) {
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(kPrograms), kProgramsText);
  EXPECT_EQ(linkText(kUsr), kUsrText);
  EXPECT_FALSE(exists(kDefaultTeX)) << "the folder is not made here";
  EXPECT_FALSE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, RepairRemovesWrongDefaultTeXItemsWithoutMakingAFolder) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"file", [&] { makeFile(kDefaultTeX); }},
      {"link to a folder",
       [&] {
         makeFolder("/Library/TeX/Distributions/Real/Contents");
         makeLink(kDefaultTeX, "Real");
       }},
      {"dangling link", [&] { makeLink(kDefaultTeX, "Nowhere"); }},
  };
  for (const auto& [what, make] : cases) {
    SCOPED_TRACE(what);
    std::error_code ignored;
    std::filesystem::remove_all(host("/Library"), ignored);
    make();
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_FALSE(exists(kDefaultTeX));
    if (what == "link to a folder") {
      EXPECT_TRUE(isRealFolder("/Library/TeX/Distributions/Real/Contents")) << "the target keeps its content";
    }
  }
}

TEST_F(TexbinsTest, RealUsrFolderIsReplacedWhenTheChainOffersPrograms) {
  makeSoundChain("Sample");
  std::filesystem::remove(host(kUsr));
  makeProgram(kUsr + "/tex");
  makeFile(kUsr + "/sub/readme");
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(kUsr), kUsrText);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, UsrWithoutProgramsIsRelinkedEvenWhenTheChainOffersNone) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"file", [&] { makeFile(kUsr); }},
      {"empty folder", [&] { makeFolder(kUsr); }},
      {"dangling link", [&] { makeLink(kUsr, "/nowhere"); }},
      {"link to a folder without TeX", [&] {
         makeFolder("/opt/bin");
         makeLink(kUsr, "/opt/bin");
       }},
  };
  for (const auto& [what, make] : cases) {
    SCOPED_TRACE(what);
    std::error_code ignored;
    std::filesystem::remove_all(host("/usr"), ignored);
    std::filesystem::remove_all(host("/Library"), ignored);
    makeFolder(kDefaultTeX);
    make();
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(linkText(kUsr), kUsrText);
    EXPECT_EQ(linkText(kPrograms), kProgramsText);
  }
}

TEST_F(TexbinsTest, WorkingUsrFolderIsKeptWhenTheChainOffersNone) {
  makeFolder(kDefaultTeX);
  makeProgram(kUsr + "/tex");
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(isRealFolder(kUsr));
  EXPECT_TRUE(exists(kUsr + "/tex"));
  EXPECT_FALSE(exists(kContents)) << "no bridge leads there, nothing is adopted";
}

TEST_F(TexbinsTest, DistributionBehindUsrTexbinIsAdopted) {
  const std::string arch = firstArch();
  makeBridge("Other", {arch});
  const std::string sample = makeBridge("Sample", {arch});
  makeFolder(kDefaultTeX);
  // A direct installation: /usr/texbin points straight at a bridge's binaries.
  makeLink(kUsr, sample + "/Contents/Programs/" + arch);
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(kUsr), sample + "/Contents/Programs/" + arch) << "the working link is kept";
  EXPECT_EQ(linkText(kContents), "../Sample.velmar/Contents");
  EXPECT_EQ(linkText(sample + "/Contents/Programs/texbin"), arch);
  EXPECT_FALSE(exists("/Library/TeX/Distributions/Other.velmar/Contents/Programs/texbin"));
  // The chain now leads to the same programs as /usr/texbin.
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, RealUsrFolderBehindABridgeArchitectureIsAdopted) {
  const std::string arch = firstArch();
  makeProgram(kUsr + "/tex");
  // The bridge's binary set is the direct installation itself.
  const std::string bundle = "/Library/TeX/Distributions/Direct.velmar";
  makeLink(bundle + "/Contents/Programs/" + arch, kUsr);
  makeFolder(kDefaultTeX);
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(isRealFolder(kUsr));
  EXPECT_EQ(linkText(kContents), "../Direct.velmar/Contents");
  EXPECT_EQ(linkText(bundle + "/Contents/Programs/texbin"), arch);
  EXPECT_TRUE(Tools4Ostrakel::are_texbins_OK());
}

TEST_F(TexbinsTest, FailedStepsAreWrappedAndTheRepairGoesOn) {
  makeFolder(kDefaultTeX);
  fs().failOn(Op::Link, kPrograms);
  fs().failOn(Op::Link, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 702) << "the first failure is the one reported";
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, ScriptedFileSystem::injectedError(kPrograms)->code);
  EXPECT_EQ(error->userInfo.localizedDescription,
            "Failed to link /Library/TeX/Distributions/Programs/texbin to "
            "../.DefaultTeX/Contents/Programs/texbin");
  // /usr/texbin was still attempted after the first failure.
  EXPECT_NE(std::find(fs().changes().begin(), fs().changes().end(), "link " + kUsr), fs().changes().end());
}

TEST_F(TexbinsTest, FailedUsrLinkIsReportedAs701) {
  makeFolder(kDefaultTeX);
  fs().failOn(Op::Link, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 701);
  EXPECT_EQ(linkText(kPrograms), kProgramsText);
}

TEST_F(TexbinsTest, FailedDefaultTeXRemovalIsReportedAs704) {
  makeFile(kDefaultTeX);
  fs().failOn(Op::Remove, kDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 704);
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(linkText(kPrograms), kProgramsText) << "later steps still run";
}

TEST_F(TexbinsTest, NoSlotGivenStillAnswersFalse) {
  makeFolder(kDefaultTeX);
  fs().failOn(Op::Link, kPrograms);
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(nullptr));
}

TEST_F(TexbinsTest, EarlierErrorInTheCallersSlotIsKept) {
  makeFolder(kDefaultTeX);
  fs().failOn(Op::Link, kPrograms);
  ErrorRef earlier = makeError("Earlier", 1, {});
  ErrorRef slot = earlier;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&slot));
  EXPECT_EQ(slot, earlier);
}

TEST_F(TexbinsTest, AdoptionFailuresCarryTheLinksOwnError) {
  const std::string arch = firstArch();
  const std::string sample = makeBridge("Sample", {arch});
  makeFolder(kDefaultTeX);
  makeLink(kUsr, sample + "/Contents/Programs/" + arch);
  // A mounted volume without distributions makes the listing report an error;
  // that error is not what went wrong with the link.
  makeFolder("/Volumes/Empty");
  fs().failOn(Op::Link, kContents);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 704);
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, ScriptedFileSystem::injectedError(kContents)->code);
  // The bridge's own link is written whatever the first link gave.
  EXPECT_EQ(linkText(sample + "/Contents/Programs/texbin"), arch);
}

TEST_F(TexbinsTest, FailedBridgeLinkWhileAdoptingIsReportedAs705) {
  const std::string arch = firstArch();
  const std::string sample = makeBridge("Sample", {arch});
  makeFolder(kDefaultTeX);
  makeLink(kUsr, sample + "/Contents/Programs/" + arch);
  fs().failOn(Op::Link, sample + "/Contents/Programs/texbin");
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 705);
  EXPECT_EQ(linkText(kContents), "../Sample.velmar/Contents");
}

}  // namespace
}  // namespace ostrakel::testing
