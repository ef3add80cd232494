// The one UTF-8 decoder that property lists, wire texts and JSON output share.
#include <gtest/gtest.h>

#include "platform/Utf8.h"

using namespace ostrakel;

TEST(Utf8, AcceptsWellFormedSequencesAndRefusesTheRest) {
  struct Case {
    std::string bytes;
    size_t length;  // of the sequence at the start; 0 when refused
    uint32_t point;
  };
  const Case cases[] = {
      {std::string(1, '\0'), 1, 0},
      {"A", 1, 0x41},
      {"\xC3\xA9", 2, 0xE9},
      {"\xE2\x82\xAC", 3, 0x20AC},
      {"\xF0\x9F\x98\x80", 4, 0x1F600},
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xC0\xAF", 0, 0},          // overlong "/"
      {"\xE0\x80\xAF", 0, 0},      // overlong, three bytes
      {"\xED\xA0\x80", 0, 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0, 0},  // above U+10FFFF
      {"\x80", 0, 0},              // a stray continuation byte
      {"\xFF", 0, 0},              // never a lead byte
      {"\xE2\x82", 0, 0},          // cut short by the end
      {"\xE2(\xAC", 0, 0},         // cut short by an ASCII byte
  };
  for (const Case& c : cases) {
    uint32_t point = 0xFFFFFFFF;
    EXPECT_EQ(utf8::sequenceAt(c.bytes, 0, &point), c.length) << testing::PrintToString(c.bytes);
    if (c.length) {
      EXPECT_EQ(point, c.point) << testing::PrintToString(c.bytes);
      std::string encoded;
      utf8::append(encoded, c.point);
      EXPECT_EQ(encoded, c.bytes);
    }
  }
  EXPECT_TRUE(utf8::isValid("caf\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_FALSE(utf8::isValid("caf\xC3"));
}
