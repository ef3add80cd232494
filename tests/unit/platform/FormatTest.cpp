// formatString: only the format is interpreted, arguments are data.
#include <gtest/gtest.h>

#include "platform/Format.h"

namespace ostrakel {
namespace {

TEST(Format, Table) {
  struct Row {
    std::string format;
    std::string expected;
    std::string got;
  };
  const Row rows[] = {
      {"", "", formatString("", {"unused"})},
      {"%@ and %@", "a and (null)", formatString("%@ and %@", {"a", nullptr})},
      {"missing", "(null) 0", formatString("%@ %d", {})},
      {"texts are data", "%d %@ 100%", formatString("%@", {"%d %@ 100%"})},
      {"percent", "50%", formatString("%d%%", {50})},
      {"wide numbers", "-1 18446744073709551615 0xff", formatString("%ld %lu %#x", {-1, -1, 255})},
      {"bytes that are not UTF-8", "\xFF\xFE", formatString("%s", {"\xFF\xFE"})},
      {"filtered texts only", "<[x]> %d",
       formatString("<%@> %%d", {"x"}, [](const std::string& t) { return "[" + t + "]"; })},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.expected) << row.format;
  EXPECT_EQ(escapedControlCharacters("a\nb\x01\x7f\xC3\xA9"), "a\\nb\\x01\\x7f\xC3\xA9");
}

}  // namespace
}  // namespace ostrakel
