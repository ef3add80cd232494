// The real file manager on a temporary system root: confinement of link
// resolution, replacement of items by links, removal, listing and writing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/PosixFileSystem.h"
#include "platform/SystemRoot.h"

namespace fs = std::filesystem;
using namespace ostrakel;

namespace {

class PosixFileSystemTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/ostrakel-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    host_ = pattern;
    systemroot::setHostRoot(host_);
  }
  void TearDown() override {
    systemroot::setHostRoot("");
    fs::remove_all(host_);
  }
  std::string host(const std::string& path) const { return host_ + path; }
  void file(const std::string& path, const std::string& text = "x", fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
    fs::create_directories(fs::path(host(path)).parent_path());
    std::ofstream(host(path)) << text;
    fs::permissions(host(path), perms);
  }
  void link(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(host(path)).parent_path());
    fs::create_symlink(text, host(path));
  }
  std::string readLink(const std::string& path) const { return fs::read_symlink(host(path)).string(); }

  std::string host_;
  PosixFileSystem files_;
};

TEST_F(PosixFileSystemTest, AbsoluteLinkTextsAndDotDotStayInsideTheRoot) {
  fs::create_directories(host("/target/inner"));
  link("/a", "/target");
  link("/up", "../../../../../target/inner");
  bool isDirectory = false;
  EXPECT_TRUE(files_.fileExists("/a", &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_EQ(files_.resolveSymlinks("/a"), "/target");
  EXPECT_EQ(files_.resolveSymlinks("/up"), "/target/inner");
  // A link to the host's /etc must find the root's (missing) /etc, not the host's.
  link("/etc-link", "/etc/passwd");
  EXPECT_FALSE(files_.fileExists("/etc-link"));
  EXPECT_EQ(files_.resolveSymlinks("/etc-link"), "/etc/passwd");
}

TEST_F(PosixFileSystemTest, DanglingAndLoopingLinks) {
  link("/dangling", "missing/thing");
  link("/loop1", "loop2");
  link("/loop2", "loop1");
  EXPECT_FALSE(files_.fileExists("/dangling"));
  EXPECT_EQ(files_.destinationOfSymbolicLink("/dangling", nullptr), "missing/thing");
  EXPECT_FALSE(files_.fileExists("/loop1"));
  EXPECT_EQ(files_.resolveSymlinks("/dangling"), "/missing/thing");
  EXPECT_FALSE(files_.resolveSymlinks("/loop1").empty());
  ErrorRef error;
  EXPECT_FALSE(files_.destinationOfSymbolicLink("/nothing", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kNSPOSIXErrorDomain);
  file("/plain");
  ErrorRef notLink;
  EXPECT_FALSE(files_.destinationOfSymbolicLink("/plain", &notLink));
  ASSERT_TRUE(notLink);
  EXPECT_EQ(notLink->code, EINVAL);
}

TEST_F(PosixFileSystemTest, ReplaceWithLinkOverEveryKindOfItem) {
  file("/d/file");
  link("/d/link", "old");
  file("/d/folder/deep/content");
  for (const char* name : {"/d/file", "/d/link", "/d/folder", "/d/new"}) {
    ErrorRef error;
    EXPECT_TRUE(files_.replaceWithSymbolicLink(name, "wanted", &error)) << name;
    EXPECT_FALSE(error) << name;
    EXPECT_EQ(readLink(name), "wanted") << name;
  }
  // No temporary names are left behind.
  size_t count = 0;
  for (auto& entry : fs::directory_iterator(host("/d"))) {
    (void)entry;
    ++count;
  }
  EXPECT_EQ(count, 4u);
}

TEST_F(PosixFileSystemTest, FailedReplacementKeepsTheOldItem) {
  ErrorRef error;
  EXPECT_FALSE(files_.replaceWithSymbolicLink("/missing-parent/link", "x", &error));
  ASSERT_TRUE(error);
  EXPECT_FALSE(fs::exists(host("/missing-parent")));
  link("/keep", "old");
  ErrorRef empty;
  EXPECT_FALSE(files_.replaceWithSymbolicLink("/keep", "", &empty));
  EXPECT_EQ(readLink("/keep"), "old");
}

TEST_F(PosixFileSystemTest, RemovalNeverFollowsLinksInsideAFolder) {
  file("/outside/precious");
  file("/gone/sub/file");
  link("/gone/to-outside", "/outside");
  link("/gone/sub/abs", "../../outside");
  EXPECT_TRUE(files_.removeItem("/gone", nullptr));
  EXPECT_FALSE(fs::exists(host("/gone")));
  EXPECT_TRUE(fs::exists(host("/outside/precious")));
  // A link is removed itself, not its target.
  link("/l", "/outside");
  EXPECT_TRUE(files_.removeItem("/l", nullptr));
  EXPECT_TRUE(fs::exists(host("/outside/precious")));
  ErrorRef error;
  EXPECT_FALSE(files_.removeItem("/not-there", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, ENOENT);
}

TEST_F(PosixFileSystemTest, DirectoriesListingAndExecutables) {
  EXPECT_TRUE(files_.createDirectory("/a/b/c", true, nullptr));
  EXPECT_TRUE(fs::is_directory(host("/a/b/c")));
  EXPECT_TRUE(files_.createDirectory("/a/b/c", true, nullptr));
  ErrorRef error;
  EXPECT_FALSE(files_.createDirectory("/x/y", false, &error));
  EXPECT_TRUE(error);
  file("/a/notdir");
  EXPECT_FALSE(files_.createDirectory("/a/notdir/z", true, nullptr));

  file("/bin/zeta");
  file("/bin/alpha", "#!/bin/sh\n", fs::perms::owner_all);
  link("/bin/link-to-alpha", "alpha");
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
  fs::create_directories(host("/Library/LaunchDaemons"));
  EXPECT_TRUE(files_.writeFileAtomically("/Library/LaunchDaemons/job.plist", "first", nullptr));
  EXPECT_TRUE(files_.writeFileAtomically("/Library/LaunchDaemons/job.plist", "second", nullptr));
  EXPECT_EQ(files_.readFile("/Library/LaunchDaemons/job.plist", nullptr), "second");
  ErrorRef error;
  EXPECT_FALSE(files_.writeFileAtomically("/NoFolder/job.plist", "x", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(fs::exists(host("/NoFolder")));
  EXPECT_FALSE(files_.readFile("/Library", nullptr));
}

TEST_F(PosixFileSystemTest, ResolvingKeepsMissingTails) {
  fs::create_directories(host("/real/dir"));
  link("/via", "real");
  EXPECT_EQ(files_.resolveSymlinks("/via/dir/missing/more"), "/real/dir/missing/more");
  EXPECT_EQ(files_.resolveSymlinks("/via/./dir/"), "/real/dir");
  EXPECT_EQ(files_.resolveSymlinks("/"), "/");
}

TEST_F(PosixFileSystemTest, VolumesAreTheRootThenVisibleFoldersOfVolumes) {
  fs::create_directories(host("/Volumes/External"));
  fs::create_directories(host("/Volumes/.hidden"));
  fs::create_directories(host("/Volumes/Another"));
  file("/Volumes/a-file");
  EXPECT_EQ(files_.mountedVolumes(),
            (std::vector<std::string>{"/", "/Volumes/Another", "/Volumes/External"}));
}

TEST_F(PosixFileSystemTest, AttributesDescribeTheItemItself) {
  file("/f");
  link("/l", "/f");
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, host("/f").c_str(), times, 0), 0);
  auto fileAttributes = files_.attributesOfItem("/f", nullptr);
  ASSERT_TRUE(fileAttributes && fileAttributes->modificationDate);
  EXPECT_EQ(fileAttributes->modificationDate->secondsSince1970, 1000000000.0);
  auto linkAttributes = files_.attributesOfItem("/l", nullptr);
  ASSERT_TRUE(linkAttributes && linkAttributes->modificationDate);
  EXPECT_NE(linkAttributes->modificationDate->secondsSince1970, 1000000000.0);
  EXPECT_FALSE(files_.attributesOfItem("/missing", nullptr));
}

}  // namespace
