// The four names parsed from a bundle's base name with first-match semantics.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "platform/Unicode.h"

namespace ostrakel {
namespace {

struct Row {
  const char* baseName;
  const char* header;
  const char* number;
  const char* trailer;
  const char* volume;
};

TEST(NameExpression, WorkedTable) {
  const Row rows[] = {
      {"Sample TeX 2015", "", "", "", ""},
      {"2015", "", "2015", "", ""},
      {"2015 basic", "", "2015", "", ""},
      {"2015(External)", "", "2015", "(External)", "External"},
      {"2015 (External)", "", "2015", "", ""},
      {"(External)", "", "", "(External)", "External"},
      {"12(a)(b)", "", "12", "(a)(b)", "a)(b"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.baseName);
    Bridge4Ostrakel::ParsedNames names = Bridge4Ostrakel::parseBaseName(row.baseName);
    EXPECT_EQ(names.headerName, row.header);
    EXPECT_EQ(names.numberName, row.number);
    EXPECT_EQ(names.trailerName, row.trailer);
    EXPECT_EQ(names.volumeName, row.volume);
  }
}

TEST(NameExpression, UnusualNamesKeepTheirBytes) {
  // Non-ASCII text inside the parentheses is cut at the right byte offsets.
  auto names = Bridge4Ostrakel::parseBaseName("2016(Clé \"USB\")");
  EXPECT_EQ(names.numberName, "2016");
  EXPECT_EQ(names.trailerName, "(Clé \"USB\")");
  EXPECT_EQ(names.volumeName, "Clé \"USB\"");

  // Bytes that are not UTF-8 neither crash the matcher nor get replaced.
  const std::string invalid = std::string("7(\xff\xfe)");
  names = Bridge4Ostrakel::parseBaseName(invalid);
  EXPECT_EQ(names.numberName, "7");
  EXPECT_EQ(names.trailerName, "(\xff\xfe)");

  names = Bridge4Ostrakel::parseBaseName("");
  EXPECT_EQ(names.headerName + names.numberName + names.trailerName + names.volumeName, "");

  const std::string longName = "1(" + std::string(100000, 'x') + ")";
  names = Bridge4Ostrakel::parseBaseName(longName);
  EXPECT_EQ(names.volumeName.size(), 100000u);
}

// The shortcuts (names that cannot match, ASCII sort keys) must give exactly
// what the expression and the full case mapping give.
TEST(NameExpression, ShortcutsAgreeWithTheExpression) {
  ASSERT_TRUE(unicode::available());
  const std::string names[] = {
      "", "Sample TeX 2015", "TeX-00001", "2015", "2015 basic", "2015(External)", "(External)", "(a)(b)x",
      "12(a)(b)", " 7", "-1(x)", ")", "a(b)", "Été 2016", "\xd9\xa2\xd9\xa0(x)", "\xef\xbc\x91(Ext)",
      "\xff\xfe", "7(\xff)", "9(a)\n", "MiXeD CaSe", "ÀÉÎ ẞ İ", "(A)", std::string("nul\0tail", 8)};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Bridge4Ostrakel::ParsedNames fast = Bridge4Ostrakel::parseBaseName(name);
    Bridge4Ostrakel::ParsedNames full = Bridge4Ostrakel::matchNameExpression(name);
    EXPECT_EQ(fast.headerName, full.headerName);
    EXPECT_EQ(fast.numberName, full.numberName);
    EXPECT_EQ(fast.trailerName, full.trailerName);
    EXPECT_EQ(fast.volumeName, full.volumeName);
    EXPECT_EQ(unicode::lowercase(name), unicode::lowercaseByICU(name));
  }
  // Digits of other scripts are digits to the expression.
  EXPECT_EQ(Bridge4Ostrakel::parseBaseName("\xd9\xa2\xd9\xa0(x)").volumeName, "x");
  EXPECT_EQ(unicode::lowercase("ÀÉ Tex"), "àé tex");
}

TEST(NameExpression, CompiledOnceAcrossThreads) {
  std::vector<const void*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = Bridge4Ostrakel::RE(); });
  for (auto& thread : threads) thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (const void* pattern : seen) EXPECT_EQ(pattern, seen[0]);
}

}  // namespace
}  // namespace ostrakel
