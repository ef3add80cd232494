// Property lists: round trips through XML and binary, dates against the Unix
// epoch, text libplist cannot carry, and hostile input that must be refused
// without crashing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/PlainXmlPropertyList.h"
#include "platform/PropertyList.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;

namespace {

PlistRef sample() {
  return PlistValue::dictionary({
      {"name", PlistValue::string("Sample TeX 2024 \xC3\xA9t\xC3\xA9 100%")},
      {"count", PlistValue::integer(42)},
      {"negative", PlistValue::integer(-5)},
      {"smallest", PlistValue::integer(INT64_MIN)},
      {"ratio", PlistValue::real(0.1)},
      {"yes", PlistValue::boolean(true)},
      {"no", PlistValue::boolean(false)},
      {"when", PlistValue::date({1700000000})},
      {"bytes", PlistValue::data(std::string("\0\x01\xFF", 3))},
      {"list", PlistValue::array({PlistValue::string("x86_64"), PlistValue::array({}),
                                  PlistValue::dictionary({})})},
  });
}

std::string nestedXML(int depth) {
  std::string text = "<plist version=\"1.0\">";
  for (int i = 0; i < depth; ++i) text += "<array>";
  for (int i = 0; i < depth; ++i) text += "</array>";
  return text + "</plist>";
}

// A binary list from its encoded objects; references and offsets 4 bytes wide.
std::string binaryPlist(const std::vector<std::string>& objects, uint64_t top = 0) {
  std::string out = "bplist00";
  std::vector<uint32_t> offsets;
  for (const std::string& object : objects) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    out += object;
  }
  auto be = [](uint64_t v, int width) {
    std::string s;
    for (int k = width - 1; k >= 0; --k) s.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    return s;
  };
  uint64_t tableOffset = out.size();
  for (uint32_t o : offsets) out += be(o, 4);
  out += std::string(6, '\0') + be(4, 1) + be(4, 1) + be(objects.size(), 8) + be(top, 8) +
         be(tableOffset, 8);
  return out;
}

std::string arrayOf(std::vector<uint32_t> refs) {
  std::string s(1, static_cast<char>(0xA0 | refs.size()));
  for (uint32_t r : refs)
    for (int k = 3; k >= 0; --k) s.push_back(static_cast<char>((r >> (8 * k)) & 0xFF));
  return s;
}

}  // namespace

TEST(PropertyList, RoundTripsThroughXMLAndBinary) {
  PlistRef original = sample();
  for (auto encode : {plist::toXML, plist::toBinary}) {
    std::optional<std::string> bytes = encode(*original);
    ASSERT_TRUE(bytes);
    PlistRef back = plist::parse(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, *original);
    EXPECT_EQ(*back->get("negative")->asInteger(), -5);
    EXPECT_EQ(back->get("missing"), nullptr);
  }
  EXPECT_FALSE(*PlistValue::integer(1) == *PlistValue::real(1));
  EXPECT_FALSE(*PlistValue::array({PlistValue::integer(1)}) == *PlistValue::array({}));
}

// Past 64 KiB a binary list's offsets take three bytes each; such lists are
// as valid as small ones and must read back.
TEST(PropertyList, LargeBinaryListsReadBack) {
  for (size_t length : {65000u, 70000u, 300000u}) {
    PlistDictionary dictionary;
    dictionary["name"] = PlistValue::string(std::string(length, 'a'));
    dictionary["list"] = PlistValue::array({PlistValue::integer(1), PlistValue::string("b")});
    PlistRef value = PlistValue::dictionary(dictionary);
    std::optional<std::string> bytes = plist::toBinary(*value);
    ASSERT_TRUE(bytes) << length;
    PlistRef back = plist::parse(*bytes);
    ASSERT_TRUE(back) << length;
    EXPECT_TRUE(*back == *value) << length;
  }
}

TEST(PropertyList, DatesCountFromTheUnixEpoch) {
  // 2001-01-01T00:00:00Z is 978307200 seconds after the Unix epoch.
  std::string xml = "<plist version=\"1.0\"><dict><key>d</key><date>2001-01-01T00:00:00Z</date>"
                    "<key>e</key><date>1970-01-01T00:00:00Z</date></dict></plist>";
  PlistRef value = plist::parse(xml);
  ASSERT_TRUE(value);
  EXPECT_DOUBLE_EQ(value->get("d")->asDate()->secondsSince1970, 978307200.0);
  EXPECT_DOUBLE_EQ(value->get("e")->asDate()->secondsSince1970, 0.0);
  // Binary lists keep fractions of a second, also before 2001.
  for (double when : {1700000000.25, 978307100.75, 100.5}) {
    auto bytes = plist::toBinary(*PlistValue::date({when}));
    ASSERT_TRUE(bytes);
    PlistRef back = plist::parse(*bytes);
    ASSERT_TRUE(back && back->asDate());
    EXPECT_NEAR(back->asDate()->secondsSince1970, when, 1e-6);
  }
  // Out of the range libplist stores: refused rather than wrapped.
  EXPECT_FALSE(plist::toBinary(*PlistValue::date({1e12})));
}

TEST(PropertyList, TextThatCannotBeCarriedIsRefused) {
  EXPECT_FALSE(plist::toXML(*PlistValue::string(std::string("a\0b", 3))));
  EXPECT_FALSE(plist::toBinary(*PlistValue::string("\xFF\xFE")));
  EXPECT_FALSE(plist::toBinary(*PlistValue::string("\xC0\xAF")));  // overlong '/'
  EXPECT_FALSE(plist::toXML(*PlistValue::dictionary({{"\x01key", PlistValue::integer(1)}})));
  // Control characters are fine in binary lists, which store them.
  auto bytes = plist::toBinary(*PlistValue::string("bell\x07"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*plist::parse(*bytes)->asString(), "bell\x07");
  // Tabs and line ends are fine in XML.
  EXPECT_TRUE(plist::toXML(*PlistValue::string("a\tb\nc")));
}

TEST(PropertyList, MalformedInputGivesNothing) {
  std::string good = *plist::toXML(*sample());
  std::string binary = *plist::toBinary(*sample());
  for (const std::string& bad :
       {std::string(), std::string("not a plist"), good.substr(0, good.size() / 2),
        binary.substr(0, binary.size() - 10), std::string("bplist00"),
        std::string("<plist><dict><key>a</key></plist>"), std::string("<plist><!-- open")})
    EXPECT_EQ(plist::parse(bad), nullptr) << bad.substr(0, 40);
}

TEST(PropertyList, NestingIsBounded) {
  EXPECT_TRUE(plist::parse(nestedXML(64)));
  EXPECT_EQ(plist::parse(nestedXML(65)), nullptr);
  EXPECT_EQ(plist::parse(nestedXML(200000)), nullptr);  // would exhaust libplist's stack
  // Markup hidden in comments and CDATA does not count, and does not hide nesting.
  std::string hidden = "<plist><!-- <array><array> --><array><string><![CDATA[</array><array>]]>"
                       "</string></array></plist>";
  PlistRef read = plist::parse(hidden);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read->asArray()->at(0)->asString(), "</array><array>");
  std::string deepBehindComment = "<plist><!-- x -->" + nestedXML(65).substr(21);
  EXPECT_EQ(plist::parse(deepBehindComment), nullptr);

  PlistRef deep = PlistValue::array({});
  for (int i = 0; i < 70; ++i) deep = PlistValue::array({deep});
  EXPECT_FALSE(plist::toXML(*deep));
  EXPECT_FALSE(plist::toBinary(*deep));
}

TEST(PropertyList, HostileBinaryListsAreRefused) {
  // A chain of 100000 arrays, each holding the next.
  std::vector<std::string> chain;
  for (uint32_t i = 0; i + 1 < 100000; ++i) chain.push_back(arrayOf({i + 1}));
  chain.push_back(arrayOf({}));
  EXPECT_EQ(plist::parse(binaryPlist(chain)), nullptr);
  // An array that holds itself.
  EXPECT_EQ(plist::parse(binaryPlist({arrayOf({0})})), nullptr);
  // Forty levels of arrays each holding the next one twice: 2^40 copies once expanded.
  std::vector<std::string> doubling;
  for (uint32_t i = 0; i + 1 < 40; ++i) doubling.push_back(arrayOf({i + 1, i + 1}));
  doubling.push_back(arrayOf({}));
  EXPECT_EQ(plist::parse(binaryPlist(doubling)), nullptr);
  // References past the object table, a top object out of range, a count
  // claiming far more references than the file holds.
  EXPECT_EQ(plist::parse(binaryPlist({arrayOf({7})})), nullptr);
  EXPECT_EQ(plist::parse(binaryPlist({arrayOf({})}, 5)), nullptr);
  EXPECT_EQ(plist::parse(binaryPlist({std::string("\xAF\x13\x40\0\0\0\0\0\0\0", 10)})), nullptr);
  // The same shapes within bounds are read.
  PlistRef small = plist::parse(binaryPlist({arrayOf({1, 1}), arrayOf({})}));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->asArray()->size(), 2u);
}

TEST(PropertyList, DecodedSizeIsBoundedInBytes) {
  // One array referring `count` times to one 10 KB string: a few bytes per
  // reference, 10 KB each once decoded.
  auto repeated = [](uint32_t count) {
    std::string array = "\xAF\x12";
    for (int k = 3; k >= 0; --k) array.push_back(static_cast<char>((count >> (8 * k)) & 0xFF));
    for (uint32_t i = 0; i < count; ++i) array += std::string("\0\0\0\x01", 4);
    return binaryPlist({array, std::string("\x5F\x11\x28\x00", 4) + std::string(10240, 'a')});
  };
  EXPECT_EQ(plist::parse(repeated(100000)), nullptr);  // a gigabyte
  PlistRef within = plist::parse(repeated(1000));       // ten megabytes
  ASSERT_TRUE(within);
  EXPECT_EQ(within->asArray()->size(), 1000u);
  // Small XML elements cost far more decoded than written.
  std::string trues = "<plist version=\"1.0\"><array>";
  for (int i = 0; i < 70000; ++i) trues += "<true/>";
  EXPECT_EQ(plist::parse(trues + "</array></plist>"), nullptr);
}

TEST(PropertyList, DictionaryFilesAboveAMegabyteAreUnreadable) {
  testkit::TempRoot root;
  const std::string xml = *plist::toXML(*sample());
  const size_t end = xml.rfind("</plist>");
  auto padded = [&](size_t bytes) { return xml.substr(0, end) + "<!--" + std::string(bytes, ' ') + "-->" + xml.substr(end); };
  std::ofstream(root.host("/big.plist"), std::ios::binary) << padded(1024 * 1024);
  std::ofstream(root.host("/fits.plist"), std::ios::binary) << padded(1000 * 1000);
  EXPECT_EQ(plist::dictionaryWithContentsOfFile("/big.plist"), nullptr);
  EXPECT_TRUE(plist::dictionaryWithContentsOfFile("/fits.plist"));
}

TEST(PropertyList, DictionaryFilesMustHoldADictionary) {
  testkit::TempRoot root;
  auto write = [&](const std::string& path, const std::string& bytes) {
    std::ofstream(root.host(path), std::ios::binary) << bytes;
  };
  write("/dict.plist", *plist::toXML(*sample()));
  write("/array.plist", *plist::toBinary(*PlistValue::array({})));
  write("/junk.plist", "junk");
  std::filesystem::create_directory(root.host("/folder.plist"));

  PlistRef read = plist::dictionaryWithContentsOfFile("/dict.plist");
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, *sample());
  for (const char* path : {"/array.plist", "/junk.plist", "/folder.plist", "/missing.plist"})
    EXPECT_EQ(plist::dictionaryWithContentsOfFile(path), nullptr) << path;
}

TEST(PropertyList, PlainXMLReadsAsTheLibraryReadsIt) {
  // The library's reading of the same text: a comment makes it not plain.
  auto byLibrary = [](std::string text) {
    text.insert(text.rfind("</plist>"), "<!-- -->");
    EXPECT_FALSE(plist::readPlainXML(text));
    return plist::parse(text);
  };
  const std::string prolog =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n";
  std::vector<std::string> plain = {
      prolog + "<dict>\n\t<key>CFBundleName</key>\n\t<string>TeX Live 2024</string>\n\t<key>n</key> "
               "<integer>-42</integer><key></key><string/><key>list</key><array><true/><false/><dict/><array/>"
               "<integer>999999999999999999</integer><integer>0</integer></array>\n</dict>\n</plist>\n",
      "<plist><string>  spaces\tand\nlines  </string></plist>",
      "<plist version=\"1.0\"><array><dict><key>a</key><dict><key>b</key><string>c</string></dict></dict></array></plist>",
  };
  const auto corpus = std::filesystem::path(__FILE__).parent_path() / "../../../bench/fuzz/corpus/bundle";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (plist::readPlainXML(text)) plain.push_back(text);
  }
  for (const std::string& text : plain) {
    std::optional<PlistRef> mine = plist::readPlainXML(text);
    ASSERT_TRUE(mine && *mine) << text;
    PlistRef theirs = byLibrary(text);
    ASSERT_TRUE(theirs) << text;
    EXPECT_TRUE(**mine == *theirs) << text;
  }
  // What is not plain is left to the library, which still reads what it can.
  for (const char* text : {"<plist><string>a &amp; b</string></plist>", "<plist><integer>010</integer></plist>",
                           "<plist><integer>0x10</integer></plist>", "<plist><string>\xC3\xA9</string></plist>",
                           "<plist><string>a\r\nb</string></plist>", "<plist><real>1.5</real></plist>",
                           "<plist><dict><key>k</key><true/><key>k</key><false/></dict></plist>",
                           "<plist><string><![CDATA[x]]></string></plist>", "<plistx><true/></plistx>"}) {
    EXPECT_FALSE(plist::readPlainXML(text)) << text;
  }
  EXPECT_EQ(*plist::parse("<plist><string>a &amp; b</string></plist>")->asString(), "a & b");
}
