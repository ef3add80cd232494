// The path helpers on the edges the layout logic meets: empty paths, "/",
// doubled and trailing separators, "..", dots in names.
#include <gtest/gtest.h>

#include "platform/Path.h"

namespace ostrakel {
namespace {

TEST(Path, Table) {
  struct Row {
    const char* what;
    std::string got;
    std::string expected;
  };
  const Row rows[] = {
      {"append onto empty", path::appendComponent("", "a/"), "a"},
      {"append separators", path::appendComponent("/a//", "/b/"), "/a/b"},
      {"append onto root", path::appendComponent("/", "x"), "/x"},
      {"delete with trailing", path::deleteLastComponent("Contents/Programs/"), "Contents"},
      {"delete at root", path::deleteLastComponent("/x"), "/"},
      {"delete a lone name", path::deleteLastComponent("a"), ""},
      {"last of root", path::lastComponent("/"), "/"},
      {"last with trailing", path::lastComponent("/a/B.velmar/"), "B.velmar"},
      {"extension", path::extension("/a.b/c.velmar"), "velmar"},
      {"hidden name", path::extension("/a/.velmar"), ""},
      {"delete extension", path::deleteExtension("/d/x.y.velmar/"), "/d/x.y"},
      {"dot dot never above root", path::standardize("/a/../../b/./c/"), "/b/c"},
      {"relative dot dot kept", path::standardize("a/../b"), "a/../b"},
      {"home", path::standardize("~/x", "/home/u"), "/home/u/x"},
      {"tilde in a name", path::standardize("~x", "/home/u"), "~x"},
      {"only dots", path::standardize("./."), "."},
      {"components", path::fromComponents(path::components("//a//b/")), "/a/b"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.expected) << row.what;
  EXPECT_EQ(path::components("/a/b"), (std::vector<std::string>{"/", "a", "b"}));
  EXPECT_FALSE(path::isAbsolute(""));
}

}  // namespace
}  // namespace ostrakel
