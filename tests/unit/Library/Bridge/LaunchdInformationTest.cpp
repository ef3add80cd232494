// The launchd job file written from the client's dictionary.
#include <gtest/gtest.h>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"
#include "platform/PropertyList.h"

namespace ostrakel::testkit {
namespace {

const std::string kJobFile = "/Library/LaunchDaemons/brennick.Helper.plist";

PlistRef jobDescription() {
  return PlistValue::dictionary({
      {"Label", PlistValue::string("brennick.Helper")},
      {"ProgramArguments", PlistValue::array({PlistValue::string("/Library/PrivilegedHelperTools/brennick.Helper"),
                                              PlistValue::string("--launch-service")})},
      {"RunAtLoad", PlistValue::boolean(true)},
  });
}

using LaunchdInformationTest = LayoutTest;

TEST_F(LaunchdInformationTest, WritesTheDictionaryAsXMLReplacingAnOldFile) {
  root.file(kJobFile, std::string(10000, 'o'));
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::copyLaunchdInformation(jobDescription(), &error));
  EXPECT_EQ(error, nullptr);
  const std::string written = root.readText(kJobFile);
  EXPECT_EQ(written.rfind("<?xml", 0), 0u);
  EXPECT_EQ(written.find('o' + std::string(20, 'o')), std::string::npos) << "nothing of the old file is left";
  auto readBack = plist::parse(written);
  ASSERT_NE(readBack, nullptr);
  EXPECT_EQ(*readBack, *jobDescription());
}

TEST_F(LaunchdInformationTest, MissingFolderFailsWithAnErrorAndIsNotCreated) {
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::copyLaunchdInformation(jobDescription(), &error));
  EXPECT_NE(error, nullptr) << "a failed write is not answered done";
  EXPECT_FALSE(root.exists("/Library/LaunchDaemons"));
}

TEST_F(LaunchdInformationTest, FailedWritePutsItsErrorInTheSlotAndKeepsTheOldFile) {
  root.file(kJobFile, "old");
  files().failOn(Op::Write, kJobFile);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::copyLaunchdInformation(jobDescription(), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, EIO);
  EXPECT_EQ(root.readText(kJobFile), "old");
}

TEST_F(LaunchdInformationTest, NoDictionaryIsRefusedWithAnError) {
  root.folder("/Library/LaunchDaemons");
  for (const PlistRef& value : {PlistRef(), PlistValue::string("Label"), PlistValue::array({})}) {
    ErrorRef error;
    EXPECT_FALSE(Tools4Ostrakel::copyLaunchdInformation(value, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain, "OstrakelErrorDomain");
    EXPECT_EQ(error->code, 609);
  }
  EXPECT_FALSE(root.exists(kJobFile));
  EXPECT_FALSE(Tools4Ostrakel::copyLaunchdInformation(nullptr, nullptr));
}

TEST_F(LaunchdInformationTest, DictionaryThatCannotBeWrittenIsRefusedWithAnError) {
  root.file(kJobFile, "old");
  PlistRef deep = PlistValue::string("bottom");
  for (int i = 0; i < 200; ++i) deep = PlistValue::dictionary({{"Nested", deep}});
  for (const PlistRef& value : {PlistValue::dictionary({{"Label", PlistRef()}}), deep}) {
    ErrorRef error;
    EXPECT_FALSE(Tools4Ostrakel::copyLaunchdInformation(value, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, 609);
  }
  EXPECT_EQ(root.readText(kJobFile), "old");
}

}  // namespace
}  // namespace ostrakel::testkit
