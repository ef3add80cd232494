// Frames and the request/reply dictionaries of the remote interface.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/RemoteWire.h"
#include "tests/support/BadPeers.h"

using namespace ostrakel;
using namespace ostrakel::remote;

namespace {

struct SocketPair {
  int fds[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
  ~SocketPair() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  void send(const std::string& bytes) { ASSERT_TRUE(writeAll(fds[0], bytes)); }
  void closeWriter() {
    ::close(fds[0]);
    fds[0] = -1;
  }
  FrameStatus read(std::string& payload) { return readFrame(fds[1], payload); }
};

PlistRef requestDictionary(PlistDictionary entries) { return PlistValue::dictionary(std::move(entries)); }

}  // namespace

TEST(Framing, RoundTripsPayloadsUpToTheLimit) {
  SocketPair pair;
  std::optional<std::string> frame = frameBytes("hello");
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->substr(0, 4), testkit::frameHeader(5));
  std::optional<std::string> empty = frameBytes("");
  ASSERT_TRUE(empty);
  pair.send(*frame + *empty);
  std::string payload;
  EXPECT_EQ(pair.read(payload), FrameStatus::ok);
  EXPECT_EQ(payload, "hello");
  EXPECT_EQ(pair.read(payload), FrameStatus::ok);
  EXPECT_EQ(payload, "");
  pair.closeWriter();
  EXPECT_EQ(pair.read(payload), FrameStatus::closed);

  EXPECT_TRUE(frameBytes(std::string(kMaxFrameLength, 'x')));
  EXPECT_FALSE(frameBytes(std::string(kMaxFrameLength + 1, 'x')));
}

TEST(Framing, RefusesTooLongAndTruncatedFrames) {
  {
    SocketPair pair;
    pair.send(testkit::frameHeader(kMaxFrameLength + 1));
    std::string payload;
    EXPECT_EQ(pair.read(payload), FrameStatus::tooLong);
    EXPECT_TRUE(payload.empty()) << "nothing of a refused frame is read";
  }
  {
    SocketPair pair;
    pair.send(testkit::frameHeader(0xffffffffu));
    std::string payload;
    EXPECT_EQ(pair.read(payload), FrameStatus::tooLong);
  }
  {
    SocketPair pair;  // header cut short
    pair.send(std::string("\0\0", 2));
    pair.closeWriter();
    std::string payload;
    EXPECT_EQ(pair.read(payload), FrameStatus::truncated);
  }
  {
    SocketPair pair;  // payload cut short
    pair.send(testkit::frameHeader(100) + std::string(10, 'x'));
    pair.closeWriter();
    std::string payload;
    EXPECT_EQ(pair.read(payload), FrameStatus::truncated);
  }
}

TEST(RequestShape, AbsentArgumentsKeepTheirPlaces) {
  Request request{42, "activateBridgeAtURL:architectureSource:withAuthorization:replyBlock:",
                  {nullptr, PlistValue::string("x86_64"), nullptr}};
  PlistRef encoded = encodeRequest(request);
  ASSERT_TRUE(encoded->get("absent"));
  EXPECT_EQ(encoded->get("arguments")->asArray()->size(), 1u);

  // Through bytes, as on the wire.
  std::optional<std::string> bytes = plist::toBinary(*encoded);
  ASSERT_TRUE(bytes);
  std::string why;
  std::optional<Request> decoded = decodeRequest(plist::parse(*bytes), why);
  ASSERT_TRUE(decoded) << why;
  EXPECT_EQ(decoded->id, 42);
  EXPECT_EQ(decoded->name, request.name);
  ASSERT_EQ(decoded->arguments.size(), 3u);
  EXPECT_EQ(decoded->arguments[0], nullptr);
  ASSERT_TRUE(decoded->arguments[1] && decoded->arguments[1]->asString());
  EXPECT_EQ(*decoded->arguments[1]->asString(), "x86_64");
  EXPECT_EQ(decoded->arguments[2], nullptr);
}

TEST(RequestShape, RefusesMalformedDictionaries) {
  auto args = [](PlistArray a) { return PlistValue::array(std::move(a)); };
  auto integer = [](int64_t i) { return PlistValue::integer(i); };
  auto text = [](const char* s) { return PlistValue::string(s); };
  const std::vector<std::pair<const char*, PlistRef>> cases = {
      {"not a dictionary", args({})},
      {"no id", requestDictionary({{"request", text("r")}, {"arguments", args({})}})},
      {"id not an integer", requestDictionary({{"id", text("1")}, {"request", text("r")}, {"arguments", args({})}})},
      {"no name", requestDictionary({{"id", integer(1)}, {"arguments", args({})}})},
      {"name not a string", requestDictionary({{"id", integer(1)}, {"request", integer(3)}, {"arguments", args({})}})},
      {"no arguments", requestDictionary({{"id", integer(1)}, {"request", text("r")}})},
      {"arguments not an array",
       requestDictionary({{"id", integer(1)}, {"request", text("r")}, {"arguments", text("a")}})},
      {"absent not an array", requestDictionary({{"id", integer(1)}, {"request", text("r")},
                                                 {"arguments", args({})}, {"absent", integer(0)}})},
      {"absent index out of range", requestDictionary({{"id", integer(1)}, {"request", text("r")},
                                                        {"arguments", args({})}, {"absent", args({integer(1)})}})},
      {"negative absent index", requestDictionary({{"id", integer(1)}, {"request", text("r")},
                                                    {"arguments", args({text("a")})}, {"absent", args({integer(-1)})}})},
      {"repeated absent index",
       requestDictionary({{"id", integer(1)}, {"request", text("r")}, {"arguments", args({})},
                          {"absent", args({integer(0), integer(0)})}})},
  };
  for (const auto& [name, value] : cases) {
    std::string why;
    EXPECT_FALSE(decodeRequest(value, why)) << name;
    EXPECT_FALSE(why.empty()) << name;
  }
  std::string why;
  EXPECT_FALSE(decodeRequest(nullptr, why));
}

TEST(ReplyShape, CarriesNestedErrorsAndTheirUrls) {
  UserInfo inner;
  inner.localizedDescription = "The authorization was denied";
  UserInfo outer;
  outer.localizedDescription = "Failed to activate a distibution";
  outer.url = "file:///Library/TeX/Distributions/A.velmar";
  outer.underlying = makeError("NSCocoaErrorDomain", -60005, inner);
  outer.extra.emplace_back("NSFilePath", "/usr/texbin");
  Reply reply{7, "Activate distribution FAILED", makeError("OstrakelErrorDomain", 710, outer)};

  std::optional<std::string> bytes = plist::toBinary(*encodeReply(reply));
  ASSERT_TRUE(bytes);
  std::string why;
  std::optional<Reply> decoded = decodeReply(plist::parse(*bytes), why);
  ASSERT_TRUE(decoded) << why;
  EXPECT_EQ(decoded->id, 7);
  EXPECT_EQ(decoded->message, reply.message);
  ASSERT_TRUE(decoded->error);
  EXPECT_EQ(decoded->error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(decoded->error->code, 710);
  EXPECT_EQ(decoded->error->userInfo.url, outer.url);
  EXPECT_EQ(decoded->error->userInfo.extra, outer.extra);
  ASSERT_TRUE(decoded->error->userInfo.underlying);
  EXPECT_EQ(decoded->error->userInfo.underlying->code, -60005);
  EXPECT_EQ(decoded->error->userInfo.underlying->userInfo.localizedDescription, inner.localizedDescription);

  Reply plain{8, "271", nullptr};
  decoded = decodeReply(encodeReply(plain), why);
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->error);
  EXPECT_FALSE(encodeReply(plain)->get("error"));
}

TEST(ReplyShape, RefusesRepliesWithoutIdOrWithBrokenErrors) {
  std::string why;
  EXPECT_FALSE(decodeReply(PlistValue::dictionary({{"message", PlistValue::string("m")}}), why));
  EXPECT_FALSE(decodeReply(PlistValue::dictionary({{"id", PlistValue::integer(1)},
                                                   {"message", PlistValue::string("m")},
                                                   {"error", PlistValue::string("oops")}}),
                           why));
}

namespace {

// A reply must always be encodable: text that a property list cannot carry
// (invalid UTF-8, NUL) reaches the client with replacement characters, while
// valid multi-byte text passes unchanged.
TEST(ReplyShape, TextThatIsNotUtf8StillMakesAReply) {
  UserInfo info;
  info.localizedDescription = std::string("bad \xff\xfe tail");
  info.extra.emplace_back("NSFilePath", std::string("/x/\xc3(\0y", 7));
  Reply reply{9, std::string("\xe9t\xc3\xa9 \xf0\x9f\x98\x80 \xed\xa0\x80 \xc3", 15),
              makeError("NSPOSIXErrorDomain", 2, info)};
  std::optional<std::string> bytes = plist::toBinary(*encodeReply(reply));
  ASSERT_TRUE(bytes);
  std::string why;
  std::optional<Reply> decoded = decodeReply(plist::parse(*bytes), why);
  ASSERT_TRUE(decoded) << why;
  const std::string r = "\xef\xbf\xbd";
  EXPECT_EQ(decoded->message, r + "t\xc3\xa9 \xf0\x9f\x98\x80 " + r + r + r + " " + r);
  ASSERT_TRUE(decoded->error);
  EXPECT_EQ(decoded->error->userInfo.localizedDescription, "bad " + r + r + " tail");
  ASSERT_EQ(decoded->error->userInfo.extra.size(), 1u);
  EXPECT_EQ(decoded->error->userInfo.extra[0].second, "/x/" + r + "(" + r + "y");
}

}  // namespace
