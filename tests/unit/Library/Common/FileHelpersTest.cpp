#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

#include "Library/Common/FileHelpers.h"
#include "platform/Assertion.h"
#include "tests/support/ForwardingFileSystem.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;
using ostrakel::testkit::TempRoot;

namespace {

class FileHelpers : public ::testing::Test {
protected:
  TempRoot root;
  FileSystem& fm = fileManager();
};

ino_t inodeOf(const std::string& hostPath) {
  struct stat info {};
  return lstat(hostPath.c_str(), &info) == 0 ? info.st_ino : 0;
}

}  // namespace

TEST_F(FileHelpers, ExistenceWithAndWithoutFollowingLinks) {
  root.file("/d/file");
  root.folder("/d/folder");
  root.link("/d/dangling", "missing");
  root.link("/d/toFolder", "folder");

  EXPECT_TRUE(fileExistsAtPath(fm, "/d/file", true));
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/file", false));
  EXPECT_FALSE(fileExistsAtPath(fm, "/d/dangling", true));
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/dangling", false));
  EXPECT_FALSE(fileExistsAtPath(fm, "/d/nothing", false));
  EXPECT_FALSE(fileExistsAtPath(fm, "/d/nothing", true));

  bool isDirectory = true;
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/toFolder", &isDirectory, false));
  EXPECT_FALSE(isDirectory);  // a link is never a folder when not followed
  isDirectory = false;
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/toFolder", &isDirectory, true));
  EXPECT_TRUE(isDirectory);
  isDirectory = false;
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/folder", &isDirectory, false));
  EXPECT_TRUE(isDirectory);
  isDirectory = true;
  EXPECT_TRUE(fileExistsAtPath(fm, "/d/dangling", &isDirectory, false));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(fileExistsAtPath(fm, "/d/dangling", nullptr, true));
}

TEST_F(FileHelpers, RemovalSkipsWhatIsNotThere) {
  root.link("/d/dangling", "missing");
  root.file("/d/folder/inner/file");
  ErrorRef error;
  EXPECT_TRUE(removeItemAtPath(fm, "/d/nothing", &error));
  EXPECT_TRUE(removeItemAtPath(fm, "/d/dangling", &error));
  EXPECT_TRUE(root.isLink("/d/dangling"));  // left in place
  EXPECT_TRUE(removeItemAtPath(fm, "/d/folder", &error));
  EXPECT_FALSE(root.exists("/d/folder"));
  EXPECT_FALSE(error);
}

TEST_F(FileHelpers, LinkWithTheWantedTextIsLeftAlone) {
  root.link("/L/link", "../missing/target");
  const ino_t before = inodeOf(root.host("/L/link"));
  ErrorRef error;
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/link", "../missing/target", &error));
  EXPECT_EQ(inodeOf(root.host("/L/link")), before);
  EXPECT_FALSE(error);
}

TEST_F(FileHelpers, LinkWithAnotherTextIsReplaced) {
  root.link("/L/link", "old");
  ErrorRef error;
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/link", "new", &error));
  EXPECT_EQ(root.linkText("/L/link"), "new");
  EXPECT_FALSE(error);  // success leaves the slot empty
  // Texts are compared exactly: a trailing separator is another text.
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/link", "new/", &error));
  EXPECT_EQ(root.linkText("/L/link"), "new/");
}

TEST_F(FileHelpers, FilesAndFoldersInTheWayAreReplaced) {
  root.file("/L/asFile");
  root.file("/L/asFolder/inner/deep");
  ErrorRef error;
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/asFile", "x86_64", &error));
  EXPECT_EQ(root.linkText("/L/asFile"), "x86_64");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/asFolder", "x86_64", &error));
  EXPECT_EQ(root.linkText("/L/asFolder"), "x86_64");
  EXPECT_FALSE(error);
}

TEST_F(FileHelpers, ReplacingAFolderLinkDoesNotTouchItsTarget) {
  root.file("/target/keep");
  root.link("/L/link", "../target");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/L/link", "elsewhere", nullptr));
  EXPECT_EQ(root.linkText("/L/link"), "elsewhere");
  EXPECT_TRUE(root.exists("/target/keep"));
}

TEST_F(FileHelpers, MissingParentsAreCreated) {
  ErrorRef error;
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/Library/TeX/Distributions/Programs/texbin",
                                       "../.DefaultTeX/Contents/Programs/texbin", &error));
  EXPECT_TRUE(root.isRealFolder("/Library/TeX/Distributions/Programs"));
  EXPECT_EQ(root.linkText("/Library/TeX/Distributions/Programs/texbin"),
            "../.DefaultTeX/Contents/Programs/texbin");
  EXPECT_FALSE(error);
}

TEST_F(FileHelpers, ALinkedParentFolderIsKeptButForDefaultTeX) {
  // A bundle that wraps an installation, or a system's linked /usr/local/bin.
  root.file("/elsewhere/keep");
  root.link("/P/linkedParent", "../elsewhere");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/P/linkedParent/link", "t", nullptr));
  EXPECT_EQ(root.linkText("/P/linkedParent"), "../elsewhere");
  EXPECT_EQ(root.linkText("/elsewhere/link"), "t");
  EXPECT_TRUE(root.exists("/elsewhere/keep"));

  // The chain's checks want a real .DefaultTeX folder.
  root.link("/Library/TeX/Distributions/.DefaultTeX", "../../../elsewhere");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/Library/TeX/Distributions/.DefaultTeX/Contents", "t", nullptr));
  EXPECT_TRUE(root.isRealFolder("/Library/TeX/Distributions/.DefaultTeX"));
  EXPECT_FALSE(root.exists("/elsewhere/Contents"));

  root.file("/P/fileParent");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/P/fileParent/link", "t", nullptr));
  EXPECT_TRUE(root.isRealFolder("/P/fileParent"));

  root.link("/P/danglingParent", "nowhere");
  EXPECT_TRUE(createSymbolicLinkAtPath(fm, "/P/danglingParent/link", "t", nullptr));
  EXPECT_TRUE(root.isRealFolder("/P/danglingParent"));
}

TEST_F(FileHelpers, ALinkedParentRootMayNotFollowStaysAndFails) {
  // Somebody else's link out of their own folder: root neither follows nor
  // replaces it.
  root.folder("/secret");
  root.link("/Volumes/U/b/Contents", "/secret");
  ASSERT_EQ(lchown(root.host("/Volumes/U").c_str(), 4242, 4242), 0);
  ASSERT_EQ(lchown(root.host("/Volumes/U/b").c_str(), 4242, 4242), 0);
  ASSERT_EQ(lchown(root.host("/Volumes/U/b/Contents").c_str(), 4242, 4242), 0);
  ErrorRef error;
  EXPECT_FALSE(createSymbolicLinkAtPath(fm, "/Volumes/U/b/Contents/texbin", "t", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EPERM);
  EXPECT_EQ(root.linkText("/Volumes/U/b/Contents"), "/secret");
  EXPECT_FALSE(root.exists("/secret/texbin"));
}

TEST_F(FileHelpers, AFailedLinkKeepsTheOldOneAndReportsTheCause) {
  root.link("/RO/link", "old");
  // The way a read-only folder refuses it.
  testkit::ForwardingFileSystem refusing;
  refusing.failOn(testkit::Op::Link, "/RO/link", EACCES);
  ErrorRef error;
  EXPECT_FALSE(createSymbolicLinkAtPath(refusing, "/RO/link", "new", &error));
  EXPECT_EQ(refusing.changes(), std::vector<std::string>{"link /RO/link"});
  EXPECT_EQ(root.linkText("/RO/link"), "old");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, EACCES);
}

TEST_F(FileHelpers, AFailedParentFolderReportsTheCauseAndKeepsAnEarlierError) {
  // A parent below a file cannot be created, not even by root.
  root.file("/F/plain");
  ErrorRef error;
  EXPECT_FALSE(createSymbolicLinkAtPath(fm, "/F/plain/sub/link", "t", &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(root.exists("/F/plain"));  // nothing removed on the way

  ErrorRef earlier = makeError(kOstrakelErrorDomain, 1, {});
  ErrorRef slot = earlier;
  EXPECT_FALSE(createSymbolicLinkAtPath(fm, "/F/plain/sub/link", "t", &slot));
  EXPECT_EQ(slot, earlier);  // first error wins
}

TEST_F(FileHelpers, MissingArgumentsAreProgrammingErrors) {
  const std::string text = "t";
  try {
    createSymbolicLinkAtPath(fm, nullptr, &text, nullptr);
    FAIL() << "no assertion";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_EQ(e.description(), "Invalid parameter not satisfying: source");
    EXPECT_EQ(e.file(), "Library/Common");
    EXPECT_EQ(e.line(), 276);
  }
  try {
    createSymbolicLinkAtPath(fm, &text, nullptr, nullptr);
    FAIL() << "no assertion";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_EQ(e.description(), "Invalid parameter not satisfying: destination");
    EXPECT_EQ(e.line(), 277);
  }
  // Both missing: the source is checked first.
  try {
    createSymbolicLinkAtPath(fm, nullptr, nullptr, nullptr);
    FAIL() << "no assertion";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_EQ(e.line(), 276);
  }
}

TEST_F(FileHelpers, InfoDictionaryIsReadAfreshFromContents) {
  EXPECT_FALSE(infoDictionary4Ostrakel("/B.velmar"));
  root.file("/B.velmar/Contents/Info.plist", "not a property list");
  EXPECT_FALSE(infoDictionary4Ostrakel("/B.velmar"));
  root.file("/B.velmar/Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleName</key><string>Example</string></dict></plist>\n");
  PlistRef info = infoDictionary4Ostrakel("/B.velmar");
  ASSERT_TRUE(info);
  ASSERT_TRUE(info->get("CFBundleName"));
  EXPECT_EQ(*info->get("CFBundleName")->asString(), "Example");
  root.file("/B.velmar/Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array/></plist>\n");
  EXPECT_FALSE(infoDictionary4Ostrakel("/B.velmar"));  // not a dictionary
}
