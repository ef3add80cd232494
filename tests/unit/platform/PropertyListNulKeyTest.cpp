// A binary property list whose dictionary key holds a NUL character once made
// the property-list library abort the process: one such request frame ended
// the service. Found by fuzzing the frame decoder; such payloads are refused.
#include <gtest/gtest.h>

#include "platform/PropertyList.h"

namespace ostrakel {
namespace {

std::string binaryWithKey(const std::string& key) {
  std::optional<std::string> bytes =
      plist::toBinary(*PlistValue::dictionary({{key, PlistValue::string("value")}}));
  EXPECT_TRUE(bytes.has_value());
  return bytes.value_or(std::string());
}

void patch(std::string& bytes, const std::string& from, const std::string& to) {
  size_t at = bytes.find(from);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, from.size(), to);
}

TEST(PropertyListNulKey, KeyWithNulIsRefusedInsteadOfEndingTheProcess) {
  std::string ascii = binaryWithKey("request");
  patch(ascii, "request", std::string("req\0est", 7));
  EXPECT_EQ(plist::parse(ascii), nullptr);

  std::string wide = binaryWithKey("r\xC3\xA9quest");  // "réquest" is written as UTF-16
  patch(wide, std::string("\x00q", 2), std::string("\x00\x00", 2));
  EXPECT_EQ(plist::parse(wide), nullptr);
}

TEST(PropertyListNulKey, SoundWideKeysStillRead) {
  PlistRef plain = plist::parse(binaryWithKey("r\xC3\xA9quest"));
  ASSERT_NE(plain, nullptr);
  EXPECT_NE(plain->get("r\xC3\xA9quest"), nullptr);

}

}  // namespace
}  // namespace ostrakel
