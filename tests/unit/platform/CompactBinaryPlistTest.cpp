// The service's own binary writer against libplist's: whatever it writes must
// read back, through libplist and through our reader, as the value libplist's
// writer gives.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/CompactBinaryPlist.h"
#include "platform/PlistLibrary.h"
#include "platform/RemoteWire.h"

using namespace ostrakel;

namespace {

// libplist's own reading of binary bytes, shown as its XML.
std::string libplistXML(const std::string& bytes) {
  const plistlibrary::Functions* library = plistlibrary::functions();
  plist_t node = nullptr;
  library->from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &node);
  if (!node) return "(unreadable)";
  char* text = nullptr;
  uint32_t length = 0;
  library->to_xml(node, &text, &length);
  std::string xml(text, length);
  library->to_xml_free(text);
  library->free(node);
  return xml;
}

ErrorRef nestedError() {
  UserInfo inner;
  inner.localizedDescription = "";
  inner.url = "file:///usr/local/texlive/2024/%C3%A9t%C3%A9/";
  UserInfo middle;
  middle.localizedDescription = "Le fichier \xC2\xAB" "\xC3\xA9t\xC3\xA9" "\xC2\xBB est introuvable \xE4\xB8\xAD \xF0\x9F\x93\x84";
  middle.underlying = makeError("NSPOSIXErrorDomain", 2, inner);
  // Enough entries for two-byte object references, long enough for
  // two-byte offsets and lengths.
  for (int i = 0; i < 150; ++i)
    middle.extra.emplace_back("Key" + std::to_string(i), i % 2 ? std::string(300, 'x') : std::string());
  UserInfo outer;
  outer.localizedDescription = "The distribution could not be activated.";
  outer.underlying = makeError("NSCocoaErrorDomain", -4, middle);
  return makeError("OstrakelErrorDomain", 112, outer);
}

}  // namespace

TEST(CompactBinaryPropertyList, ReadsBackAsLibplistsOwnBinary) {
  ASSERT_NE(plistlibrary::functions(), nullptr);
  const std::vector<remote::Reply> replies = {
      {0, "271", nullptr},
      {-1, "", nullptr},
      {INT64_MIN, "reset done", nullptr},
      {INT64_MAX, "x", nullptr},
      {255, "a", nullptr},
      {65536, "b", nullptr},
      {4294967296, "c", nullptr},
      {remote::RequestId::largeUnsignedId(UINT64_MAX), "max", nullptr},
      {remote::RequestId::largeUnsignedId(uint64_t{1} << 63), "half", nullptr},
      {7, "Activer la distribution \xC3\xA9t\xC3\xA9 FAILED", nestedError()},
  };
  for (const remote::Reply& reply : replies) {
    SCOPED_TRACE(reply.id.description() + " " + reply.message);
    const PlistRef value = remote::encodeReply(reply);
    std::optional<std::string> ours = plist::toCompactBinary(*value);
    std::optional<std::string> theirs = plist::toBinary(*value);
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(libplistXML(*ours), libplistXML(*theirs));
    PlistRef decoded = plist::parse(*ours);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(*decoded == *value);
    EXPECT_TRUE(*decoded == *plist::parse(*theirs));
    std::string why;
    std::optional<remote::Reply> back = remote::decodeReply(decoded, why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->id, reply.id);
  }
  // Text libplist cannot carry, and kinds it does not write, are refused.
  EXPECT_FALSE(plist::toCompactBinary(*PlistValue::string(std::string("a\0b", 3))));
  EXPECT_FALSE(plist::toCompactBinary(*PlistValue::dictionary({{"k", PlistValue::string("\xC3")}})));
  EXPECT_FALSE(plist::toCompactBinary(*PlistValue::dictionary({{"\xED\xA0\x80", PlistValue::integer(1)}})));
  EXPECT_FALSE(plist::toCompactBinary(*PlistValue::real(1.5)));
}
