// Reset: what is removed, in which order, and where it stops.
#include <gtest/gtest.h>

#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "RepairFixture.h"

namespace ostrakel::testing {
namespace {

const std::string kDefaultTeX = "/Library/TeX/Distributions/.DefaultTeX";
const std::string kPrograms = "/Library/TeX/Distributions/Programs/texbin";
const std::string kUsr = "/usr/texbin";

class ResetTest : public RepairTest {
protected:
  void makeStructure() {
    makeProgram("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/x86_64/tex");
    makeLink("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/texbin", "x86_64");
    makeLink(kDefaultTeX + "/Contents", "../Sample.velmar/Contents");
    makeLink(kPrograms, "../.DefaultTeX/Contents/Programs/texbin");
    makeLink("/Library/TeX/Distributions/Programs/velmarmgr", "/Library/PreferencePanes/X/velmarmgr");
    makeLink(kUsr, "../Library/TeX/Distributions/Programs/texbin");
  }
};

TEST_F(ResetTest, NothingToRemoveSucceedsWithoutChanges) {
  EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(fs().changes().empty());
}

TEST_F(ResetTest, RemovesTheChainAndKeepsEverythingElse) {
  makeStructure();
  EXPECT_FALSE(Tools4Ostrakel::isResetOK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_FALSE(exists(kDefaultTeX));
  EXPECT_FALSE(exists(kUsr));
  EXPECT_FALSE(exists(kPrograms));
  EXPECT_TRUE(exists("/Library/TeX/Distributions/Programs/velmarmgr"));
  EXPECT_EQ(linkText("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/texbin"), "x86_64");
  EXPECT_TRUE(exists("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/x86_64/tex"));
  EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  const std::vector<std::string> order = {"remove " + kDefaultTeX, "remove " + kUsr, "remove " + kPrograms};
  EXPECT_EQ(fs().changes(), order);
}

TEST_F(ResetTest, ItemsOfEveryKindCount) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"dangling /usr/texbin", [&] { makeLink(kUsr, "../nowhere"); }},
      {"/usr/texbin folder with content", [&] { makeFile(kUsr + "/sub/tex"); }},
      {"Programs texbin file", [&] { makeFile(kPrograms); }},
      {".DefaultTeX file", [&] { makeFile(kDefaultTeX); }},
      {".DefaultTeX link to a folder", [&] {
         makeFile("/opt/real/keep");
         makeLink(kDefaultTeX, "/opt/real");
       }},
  };
  for (const auto& [what, make] : cases) {
    SCOPED_TRACE(what);
    make();
    EXPECT_FALSE(Tools4Ostrakel::isResetOK());
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  }
  EXPECT_TRUE(exists("/opt/real/keep")) << "a link is removed, not its target";
}

TEST_F(ResetTest, StopsAtTheFirstFailedRemoval) {
  makeStructure();
  fs().failOn(Op::Remove, kDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 107);
  EXPECT_EQ(error->userInfo.localizedDescription, "Failed to remove .DefaultTeX soft link and .DefaultTeX directory");
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, ScriptedFileSystem::injectedError(kDefaultTeX)->code);
  EXPECT_TRUE(exists(kUsr));
  EXPECT_TRUE(exists(kPrograms));
  EXPECT_EQ(fs().changes(), std::vector<std::string>{"remove " + kDefaultTeX});
}

TEST_F(ResetTest, LaterFailureKeepsWhatWasAlreadyRemoved) {
  makeStructure();
  fs().failOn(Op::Remove, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 107);
  EXPECT_FALSE(exists(kDefaultTeX));
  EXPECT_TRUE(exists(kUsr));
  EXPECT_TRUE(exists(kPrograms)) << "items after the failure stay";
}

TEST_F(ResetTest, AbsentItemsAreNotRemovedAndAnEarlierErrorStays) {
  makeLink(kPrograms, "anything");
  fs().failOn(Op::Remove, kPrograms);
  ErrorRef earlier = makeError("Earlier", 1, {});
  ErrorRef slot = earlier;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&slot));
  EXPECT_EQ(slot, earlier);
  EXPECT_EQ(fs().changes(), std::vector<std::string>{"remove " + kPrograms});
}

}  // namespace
}  // namespace ostrakel::testing
