// The real file manager on a temporary system root: confinement of link
// resolution, replacement of items by links, removal, listing and writing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/FileSystemCredentials.h"
#include "platform/PosixFileSystem.h"
#include "platform/SafeLookup.h"
#include "platform/SystemRoot.h"
#include "tests/support/TempRoot.h"

namespace fs = std::filesystem;
using namespace ostrakel;

namespace {

class PosixFileSystemTest : public ::testing::Test {
protected:
  testkit::TempRoot root;
  PosixFileSystem files_;
};

TEST_F(PosixFileSystemTest, AbsoluteLinkTextsAndDotDotStayInsideTheRoot) {
  fs::create_directories(root.host("/target/inner"));
  root.link("/a", "/target");
  root.link("/up", "../../../../../target/inner");
  bool isDirectory = false;
  EXPECT_TRUE(files_.fileExists("/a", &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_EQ(files_.resolveSymlinks("/a"), "/target");
  EXPECT_EQ(files_.resolveSymlinks("/up"), "/target/inner");
  // A link to the host's /etc must find the root's (missing) /etc, not the host's.
  root.link("/etc-link", "/etc/passwd");
  EXPECT_FALSE(files_.fileExists("/etc-link"));
  EXPECT_EQ(files_.resolveSymlinks("/etc-link"), "/etc/passwd");
}

TEST_F(PosixFileSystemTest, DanglingAndLoopingLinks) {
  root.link("/dangling", "missing/thing");
  root.link("/loop1", "loop2");
  root.link("/loop2", "loop1");
  EXPECT_FALSE(files_.fileExists("/dangling"));
  EXPECT_EQ(files_.destinationOfSymbolicLink("/dangling", nullptr), "missing/thing");
  EXPECT_FALSE(files_.fileExists("/loop1"));
  EXPECT_EQ(files_.resolveSymlinks("/dangling"), "/missing/thing");
  EXPECT_FALSE(files_.resolveSymlinks("/loop1").empty());
  ErrorRef error;
  EXPECT_FALSE(files_.destinationOfSymbolicLink("/nothing", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kNSPOSIXErrorDomain);
  root.file("/plain");
  ErrorRef notLink;
  EXPECT_FALSE(files_.destinationOfSymbolicLink("/plain", &notLink));
  ASSERT_TRUE(notLink);
  EXPECT_EQ(notLink->code, EINVAL);
}

TEST_F(PosixFileSystemTest, ReplaceWithLinkOverEveryKindOfItem) {
  root.file("/d/file");
  root.link("/d/link", "old");
  root.file("/d/folder/deep/content");
  for (const char* name : {"/d/file", "/d/link", "/d/folder", "/d/new"}) {
    ErrorRef error;
    EXPECT_TRUE(files_.replaceWithSymbolicLink(name, "wanted", &error)) << name;
    EXPECT_FALSE(error) << name;
    EXPECT_EQ(root.linkText(name), "wanted") << name;
  }
  // No temporary names are left behind.
  size_t count = 0;
  for (auto& entry : fs::directory_iterator(root.host("/d"))) {
    (void)entry;
    ++count;
  }
  EXPECT_EQ(count, 4u);
}

TEST_F(PosixFileSystemTest, RootNeverFollowsALinkSomebodyElseControls) {
  // A volume of user 4242 whose links lead out of it into root's folders.
  root.file("/secret/file");
  fs::create_directories(root.host("/Volumes/U/b/inner"));
  root.file("/Volumes/U/b/inner/f");
  root.link("/Volumes/U/b/abs", "/secret");
  root.link("/Volumes/U/b/up", "../../../secret");
  root.link("/Volumes/U/b/own", "inner");
  for (const char* p : {"/Volumes/U", "/Volumes/U/b", "/Volumes/U/b/inner", "/Volumes/U/b/inner/f",
                        "/Volumes/U/b/abs", "/Volumes/U/b/up", "/Volumes/U/b/own"})
    ASSERT_EQ(lchown(root.host(p).c_str(), 4242, 4242), 0) << p;
  root.link("/Volumes/U/b/rootMade", "inner");  // root's own link in the user's folder
  root.link("/rootLink", "/secret");

  ErrorRef refused;
  EXPECT_FALSE(files_.isFolder("/Volumes/U/b/abs", &refused));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code, EPERM);
  EXPECT_FALSE(files_.fileExists("/Volumes/U/b/up/file"));
  EXPECT_FALSE(files_.readFile("/Volumes/U/b/abs/file", 1024, nullptr));
  EXPECT_FALSE(files_.replaceWithSymbolicLink("/Volumes/U/b/abs/texbin", "x", nullptr));
  EXPECT_FALSE(files_.removeItem("/Volumes/U/b/up/file", nullptr));
  EXPECT_FALSE(files_.createDirectory("/Volumes/U/b/up/made", true, nullptr));
  EXPECT_TRUE(fs::exists(root.host("/secret/file")));
  EXPECT_FALSE(fs::exists(root.host("/secret/texbin")));
  EXPECT_FALSE(fs::exists(root.host("/secret/made")));
  EXPECT_EQ(files_.resolveSymlinks("/Volumes/U/b/abs/file"), "/Volumes/U/b/abs/file");

  // Links that stay in the user's own folders, and root's links, are followed.
  EXPECT_TRUE(files_.fileExists("/Volumes/U/b/own/f"));
  EXPECT_TRUE(files_.fileExists("/Volumes/U/b/rootMade/f"));
  EXPECT_EQ(files_.resolveSymlinks("/Volumes/U/b/own/f"), "/Volumes/U/b/inner/f");
  EXPECT_TRUE(files_.isFolder("/rootLink", nullptr));

  // With the user's own rights the lookup is the kernel's, as before.
  fs::permissions(root.host(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(root.host("/secret"), fs::perms::owner_all | fs::perms::others_exec);
  remote::PeerCredentials user;
  user.uid = 4242;
  user.gid = 4242;
  FileSystemCredentialsScope scope(&user);
  ASSERT_TRUE(scope.active());
  EXPECT_TRUE(files_.isFolder("/Volumes/U/b/abs", nullptr));
}

TEST_F(PosixFileSystemTest, ACheckWalksALinkOnceButNeverLendsRootsTrustToAnotherUsersLink) {
  // A chain like texbin's, reached from two ends.
  root.file("/L/D/Bundle/Contents/Programs/x86_64/tex");
  root.link("/L/D/Bundle/Contents/Programs/texbin", "x86_64");
  root.link("/L/D/.Default/Contents", "../Bundle/Contents");
  root.link("/L/D/Programs/texbin", "../.Default/Contents/Programs/texbin");
  root.link("/usr/texbin", "../L/D/Programs/texbin");
  // A shared folder of root's where root and a user each left a link with
  // the same text: only root's may be followed out of it.
  root.file("/secret/file");
  fs::create_directories(root.host("/shared"));
  fs::permissions(root.host("/shared"), fs::perms::all | fs::perms::sticky_bit);
  root.link("/shared/byRoot", "../secret");
  root.link("/shared/byUser", "../secret");
  ASSERT_EQ(lchown(root.host("/shared/byUser").c_str(), 4242, 4242), 0);

  const std::string program = "/L/D/Bundle/Contents/Programs/x86_64/tex";
  {
    safelookup::ReadOnlyScope check;
    EXPECT_EQ(files_.resolveSymlinks("/L/D/Programs/texbin/tex"), program);
    // Links the check has read are walked at once, still judged by owner.
    EXPECT_EQ(files_.destinationOfSymbolicLink("/shared/byUser", nullptr), "../secret");
    EXPECT_TRUE(files_.fileExists("/shared/byRoot/file"));
    EXPECT_FALSE(files_.fileExists("/shared/byUser/file"));
    // A link read earlier that is a folder by now is walked as a folder.
    root.link("/L/was-link", "D");
    EXPECT_EQ(files_.destinationOfSymbolicLink("/L/was-link", nullptr), "D");
    fs::remove(root.host("/L/was-link"));
    root.file("/L/was-link/f");
    EXPECT_EQ(files_.resolveSymlinks("/L/was-link/f"), "/L/was-link/f");
    // The chain changes under the check: the walk it already made stands.
    fs::remove(root.host("/L/D/.Default/Contents"));
    EXPECT_EQ(files_.resolveSymlinks("/usr/texbin/tex"), program);
  }
  // Nothing is kept past the check.
  EXPECT_FALSE(files_.fileExists("/usr/texbin/tex"));
}

TEST_F(PosixFileSystemTest, ACheckReadsEachItemOnceAndNothingOutlivesIt) {
  root.file("/b/Info.plist", "old");
  root.file("/b/Programs/tex", "#!", 0755);
  {
    safelookup::ReadOnlyScope check;
    EXPECT_EQ(files_.readFile("/b/Info.plist", 1024, nullptr), "old");
    EXPECT_TRUE(files_.isExecutableFile("/b/Programs/tex"));
    root.file("/b/Info.plist", "new");
    fs::permissions(root.host("/b/Programs/tex"), fs::perms::owner_read);
    EXPECT_EQ(files_.readFile("/b/Info.plist", 1024, nullptr), "old");
    EXPECT_TRUE(files_.isExecutableFile("/b/Programs/tex"));
    // A change the check makes itself is seen at once.
    ASSERT_TRUE(files_.writeFileAtomically("/b/Info.plist", "mine", nullptr));
    EXPECT_EQ(files_.readFile("/b/Info.plist", 1024, nullptr), "mine");
  }
  EXPECT_FALSE(files_.isExecutableFile("/b/Programs/tex"));
  EXPECT_EQ(files_.readFile("/b/Info.plist", 1024, nullptr), "mine");
  // Errors too are given again as they were.
  ErrorRef missing;
  {
    safelookup::ReadOnlyScope check;
    EXPECT_FALSE(files_.readFile("/b/none", 1024, nullptr));
    EXPECT_FALSE(files_.readFile("/b/none", 1024, &missing));
  }
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->code, ENOENT);
}

TEST_F(PosixFileSystemTest, ALinkReplacementClearsTemporariesOfDeadProcesses) {
  pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  root.link("/d/.texbin.ostrakel-" + dead + "-3", "x86_64");  // a killed replacement's leftover
  root.link("/d/.texbin.ostrakel-1-0", "x86_64");              // pid 1 is alive
  root.file("/d/.job.plist.ostrakel-" + dead + "-0");          // not a link
  root.link("/d/.texbin.other-" + dead + "-0", "x86_64");      // not this scheme
  ASSERT_TRUE(files_.replaceWithSymbolicLink("/d/texbin", "x86_64", nullptr));
  EXPECT_FALSE(fs::exists(fs::symlink_status(root.host("/d/.texbin.ostrakel-" + dead + "-3"))));
  EXPECT_TRUE(fs::exists(fs::symlink_status(root.host("/d/.texbin.ostrakel-1-0"))));
  EXPECT_TRUE(fs::exists(root.host("/d/.job.plist.ostrakel-" + dead + "-0")));
  EXPECT_TRUE(fs::exists(fs::symlink_status(root.host("/d/.texbin.other-" + dead + "-0"))));
}

TEST_F(PosixFileSystemTest, FailedReplacementKeepsTheOldItem) {
  ErrorRef error;
  EXPECT_FALSE(files_.replaceWithSymbolicLink("/missing-parent/link", "x", &error));
  ASSERT_TRUE(error);
  EXPECT_FALSE(fs::exists(root.host("/missing-parent")));
  root.link("/keep", "old");
  ErrorRef empty;
  EXPECT_FALSE(files_.replaceWithSymbolicLink("/keep", "", &empty));
  EXPECT_EQ(root.linkText("/keep"), "old");
}

TEST_F(PosixFileSystemTest, RemovalNeverFollowsLinksInsideAFolder) {
  root.file("/outside/precious");
  root.file("/gone/sub/file");
  root.link("/gone/to-outside", "/outside");
  root.link("/gone/sub/abs", "../../outside");
  EXPECT_TRUE(files_.removeItem("/gone", nullptr));
  EXPECT_FALSE(fs::exists(root.host("/gone")));
  EXPECT_TRUE(fs::exists(root.host("/outside/precious")));
  // A link is removed itself, not its target.
  root.link("/l", "/outside");
  EXPECT_TRUE(files_.removeItem("/l", nullptr));
  EXPECT_TRUE(fs::exists(root.host("/outside/precious")));
  ErrorRef error;
  EXPECT_FALSE(files_.removeItem("/not-there", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, ENOENT);
}

TEST_F(PosixFileSystemTest, DirectoriesListingAndExecutables) {
  EXPECT_TRUE(files_.createDirectory("/a/b/c", true, nullptr));
  EXPECT_TRUE(fs::is_directory(root.host("/a/b/c")));
  EXPECT_TRUE(files_.createDirectory("/a/b/c", true, nullptr));
  ErrorRef error;
  EXPECT_FALSE(files_.createDirectory("/x/y", false, &error));
  EXPECT_TRUE(error);
  root.file("/a/notdir");
  EXPECT_FALSE(files_.createDirectory("/a/notdir/z", true, nullptr));

  root.file("/bin/zeta");
  root.file("/bin/alpha", "#!/bin/sh\n", 0700);
  root.link("/bin/link-to-alpha", "alpha");
  auto names = files_.contentsOfDirectory("/bin", nullptr);
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, (std::vector<std::string>{"alpha", "link-to-alpha", "zeta"}));
  EXPECT_TRUE(files_.isExecutableFile("/bin/alpha"));
  EXPECT_TRUE(files_.isExecutableFile("/bin/link-to-alpha"));
  EXPECT_FALSE(files_.isExecutableFile("/bin/zeta"));
  EXPECT_FALSE(files_.isExecutableFile("/bin"));
  EXPECT_FALSE(files_.contentsOfDirectory("/nothing", nullptr));
}

TEST_F(PosixFileSystemTest, AtomicWriteAndRead) {
  fs::create_directories(root.host("/Library/LaunchDaemons"));
  EXPECT_TRUE(files_.writeFileAtomically("/Library/LaunchDaemons/job.plist", "first", nullptr));
  EXPECT_TRUE(files_.writeFileAtomically("/Library/LaunchDaemons/job.plist", "second", nullptr));
  EXPECT_EQ(files_.readFile("/Library/LaunchDaemons/job.plist", 1024, nullptr), "second");
  ErrorRef error;
  EXPECT_FALSE(files_.writeFileAtomically("/NoFolder/job.plist", "x", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(fs::exists(root.host("/NoFolder")));
  EXPECT_FALSE(files_.readFile("/Library", 1024, nullptr));
}

TEST_F(PosixFileSystemTest, ResolvingKeepsMissingTails) {
  fs::create_directories(root.host("/real/dir"));
  root.link("/via", "real");
  EXPECT_EQ(files_.resolveSymlinks("/via/dir/missing/more"), "/real/dir/missing/more");
  EXPECT_EQ(files_.resolveSymlinks("/via/./dir/"), "/real/dir");
  EXPECT_EQ(files_.resolveSymlinks("/"), "/");
}

TEST_F(PosixFileSystemTest, VolumesAreTheRootThenVisibleFoldersOfVolumes) {
  fs::create_directories(root.host("/Volumes/External"));
  fs::create_directories(root.host("/Volumes/.hidden"));
  fs::create_directories(root.host("/Volumes/Another"));
  root.file("/Volumes/a-file");
  EXPECT_EQ(files_.mountedVolumes(),
            (std::vector<std::string>{"/", "/Volumes/Another", "/Volumes/External"}));
}

TEST_F(PosixFileSystemTest, AttributesDescribeTheItemItself) {
  root.file("/f");
  root.link("/l", "/f");
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, root.host("/f").c_str(), times, 0), 0);
  auto fileAttributes = files_.attributesOfItem("/f", nullptr);
  ASSERT_TRUE(fileAttributes && fileAttributes->modificationDate);
  EXPECT_EQ(fileAttributes->modificationDate->secondsSince1970, 1000000000.0);
  auto linkAttributes = files_.attributesOfItem("/l", nullptr);
  ASSERT_TRUE(linkAttributes && linkAttributes->modificationDate);
  EXPECT_NE(linkAttributes->modificationDate->secondsSince1970, 1000000000.0);
  EXPECT_FALSE(files_.attributesOfItem("/missing", nullptr));
}

}  // namespace
