// Reset: what is removed, in which order, and where it stops.
#include <gtest/gtest.h>

#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"

namespace ostrakel::testkit {
namespace {

const std::string kDefaultTeX = "/Library/TeX/Distributions/.DefaultTeX";
const std::string kPrograms = "/Library/TeX/Distributions/Programs/texbin";
const std::string kUsr = "/usr/texbin";

class ResetTest : public LayoutTest {
protected:
  void makeStructure() {
    root.program("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/x86_64/tex");
    root.link("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/texbin", "x86_64");
    root.link(kDefaultTeX + "/Contents", "../Sample.velmar/Contents");
    root.link(kPrograms, "../.DefaultTeX/Contents/Programs/texbin");
    root.link("/Library/TeX/Distributions/Programs/velmarmgr", "/Library/PreferencePanes/X/velmarmgr");
    root.link(kUsr, "../Library/TeX/Distributions/Programs/texbin");
  }
};

TEST_F(ResetTest, NothingToRemoveSucceedsWithoutChanges) {
  EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(files().changes().empty());
}

TEST_F(ResetTest, RemovesTheChainAndKeepsEverythingElse) {
  makeStructure();
  EXPECT_FALSE(Tools4Ostrakel::isResetOK());
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_FALSE(root.exists(kDefaultTeX));
  EXPECT_FALSE(root.exists(kUsr));
  EXPECT_FALSE(root.exists(kPrograms));
  EXPECT_TRUE(root.exists("/Library/TeX/Distributions/Programs/velmarmgr"));
  EXPECT_EQ(root.linkText("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/texbin"), "x86_64");
  EXPECT_TRUE(root.exists("/Library/TeX/Distributions/Sample.velmar/Contents/Programs/x86_64/tex"));
  EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  const std::vector<std::string> order = {"remove " + kDefaultTeX, "remove " + kUsr, "remove " + kPrograms};
  EXPECT_EQ(files().changes(), order);
}

TEST_F(ResetTest, ItemsOfEveryKindCount) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"dangling /usr/texbin", [&] { root.link(kUsr, "../nowhere"); }},
      {"/usr/texbin folder with content", [&] { root.file(kUsr + "/sub/tex"); }},
      {"Programs texbin file", [&] { root.file(kPrograms); }},
      {".DefaultTeX file", [&] { root.file(kDefaultTeX); }},
      {".DefaultTeX link to a folder", [&] {
         root.file("/opt/real/keep");
         root.link(kDefaultTeX, "/opt/real");
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
  EXPECT_TRUE(root.exists("/opt/real/keep")) << "a link is removed, not its target";
}

TEST_F(ResetTest, StopsAtTheFirstFailedRemoval) {
  makeStructure();
  files().failOn(Op::Remove, kDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 107);
  EXPECT_EQ(error->userInfo.localizedDescription, "Failed to remove .DefaultTeX soft link and .DefaultTeX directory");
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(error->userInfo.underlying->code, EIO);
  EXPECT_TRUE(root.exists(kUsr));
  EXPECT_TRUE(root.exists(kPrograms));
  EXPECT_EQ(files().changes(), std::vector<std::string>{"remove " + kDefaultTeX});
}

TEST_F(ResetTest, LaterFailureKeepsWhatWasAlreadyRemoved) {
  makeStructure();
  files().failOn(Op::Remove, kUsr);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 107);
  EXPECT_FALSE(root.exists(kDefaultTeX));
  EXPECT_TRUE(root.exists(kUsr));
  EXPECT_TRUE(root.exists(kPrograms)) << "items after the failure stay";
}

TEST_F(ResetTest, AbsentItemsAreNotRemovedAndAnEarlierErrorStays) {
  root.link(kPrograms, "anything");
  files().failOn(Op::Remove, kPrograms);
  ErrorRef earlier = makeError("Earlier", 1, {});
  ErrorRef slot = earlier;
  EXPECT_FALSE(Tools4Ostrakel::resetOrReturnError(&slot));
  EXPECT_EQ(slot, earlier);
  EXPECT_EQ(files().changes(), std::vector<std::string>{"remove " + kPrograms});
}

}  // namespace
}  // namespace ostrakel::testkit
