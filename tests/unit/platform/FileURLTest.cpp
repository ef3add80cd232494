// File URLs: what is escaped, what decodes, and what is refused.
#include <gtest/gtest.h>

#include "platform/FileURL.h"

namespace ostrakel {
namespace {

TEST(FileURL, EscapesEverythingButPlainPathCharacters) {
  EXPECT_EQ(FileURL{"/a b/caf\xC3\xA9/100%/x\xFF"}.absoluteString(), "file:///a%20b/caf%C3%A9/100%25/x%FF");
  EXPECT_EQ(FileURL{"/A-z_0.9~/"}.absoluteString(), "file:///A-z_0.9~/");
}

TEST(FileURL, DecodingTable) {
  struct Row {
    std::string text;
    std::optional<std::string> path;
  };
  const Row rows[] = {
      {"file:///a%20b/%C3%A9%ff", "/a b/\xC3\xA9\xFF"},
      {"file://localhost/x", "/x"},
      {"file:/x", "/x"},
      {"file:///a%2", std::nullopt},     // cut-short escape
      {"file:///a%zz", std::nullopt},    // not hexadecimal
      {"file:///a%00b", std::nullopt},   // a NUL would cut the path short
      {"file://host/x", std::nullopt},   // another host
      {"file:", std::nullopt},
      {"http://x/", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    std::optional<FileURL> url = FileURL::fromString(row.text);
    EXPECT_EQ(url ? std::optional<std::string>(url->path) : std::nullopt, row.path) << row.text;
  }
  const FileURL odd{"/%41 \x01\xFF"};
  EXPECT_EQ(FileURL::fromString(odd.absoluteString()), odd);
}

}  // namespace
}  // namespace ostrakel
