// The wire format of the remote interface: frames of a 4-byte big-endian
// length followed by a binary property list, and the request and reply
// dictionaries carried in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/PropertyList.h"
#include "platform/WriteAll.h"

namespace ostrakel::remote {

// A frame whose payload is larger than this is refused without being read.
inline constexpr uint32_t kMaxFrameLength = 1u << 20;

enum class FrameStatus {
  ok,         // a whole frame was read
  closed,     // the peer closed the connection cleanly between frames
  truncated,  // the peer closed the connection in the middle of a frame
  tooLong,    // the announced length exceeds kMaxFrameLength
  ioError,    // the socket failed (errno kept in the reader's result)
};

const char* describe(FrameStatus status);

// The 4-byte length prefix followed by the payload; none when the payload is
// larger than kMaxFrameLength.
std::optional<std::string> frameBytes(const std::string& payload);

// Reads one frame from a blocking stream socket into `payload`. The buffer
// grows with the bytes that arrive, not with the length the header announces.
FrameStatus readFrame(int fd, std::string& payload);

// Cuts frames out of bytes as they arrive on a non-blocking socket. It holds
// only what was received: a header announcing 1 MiB costs four bytes.
class FrameReader {
public:
  enum class Next { frame, needMore, tooLong };
  void append(const char* bytes, size_t length);
  // The next whole frame's payload, if one is complete.
  Next next(std::string& payload);
  // Whether bytes of an unfinished frame are waiting.
  bool started() const { return buffer_.size() > offset_; }

private:
  std::string buffer_;
  size_t offset_ = 0;
};
// Frames go out through the one write-all of the platform (never SIGPIPE).
using ostrakel::writeAll;

// A request's id, which its reply carries back unchanged: any integer a
// property list holds, unsigned values of 2^63 and more included.
struct RequestId {
  int64_t value = 0;           // the id; the bits of the unsigned one when large
  bool largeUnsigned = false;  // value stands for an unsigned id of 2^63 or more
  RequestId() = default;
  RequestId(int64_t id) : value(id) {}
  static RequestId largeUnsignedId(uint64_t id) { return {static_cast<int64_t>(id), true}; }
  bool operator==(const RequestId&) const = default;
  std::string description() const;

private:
  RequestId(int64_t bits, bool large) : value(bits), largeUnsigned(large) {}
};

// One request as sent over the wire. `arguments` has one slot per argument of
// the request (the reply callback excluded); an absent argument is nullptr.
struct Request {
  RequestId id;
  std::string name;
  std::vector<PlistRef> arguments;
};

// Builds the request dictionary: present arguments in `arguments`, the indexes
// of absent ones in `absent`.
PlistRef encodeRequest(const Request& request);
// Checks the shape of a request dictionary; on failure returns none and says
// why in `why`.
std::optional<Request> decodeRequest(const PlistRef& payload, std::string& why);

struct Reply {
  RequestId id;
  std::string message;
  ErrorRef error;
};

PlistRef encodeReply(const Reply& reply);
std::optional<Reply> decodeReply(const PlistRef& payload, std::string& why);

// An error as the dictionary {domain, code, userInfo} and back.
PlistRef encodeError(const Error& error);
ErrorRef decodeError(const PlistRef& value);

}  // namespace ostrakel::remote
