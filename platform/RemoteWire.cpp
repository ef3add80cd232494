#include "platform/RemoteWire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "platform/BigEndian.h"
#include "platform/Utf8.h"

namespace ostrakel::remote {

namespace {

// Nested errors deeper than this are cut off when decoding a reply.
constexpr int kMaxErrorDepth = 16;

enum class ReadResult { ok, eofAtStart, eofInside, failed };

ReadResult readExactly(int fd, char* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::recv(fd, buffer + done, length - done, 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      return done == 0 ? ReadResult::eofAtStart : ReadResult::eofInside;
    } else if (errno != EINTR) {
      // A reset connection is the peer going away, not a fault of ours.
      if (errno == ECONNRESET) return done == 0 ? ReadResult::eofAtStart : ReadResult::eofInside;
      return ReadResult::failed;
    }
  }
  return ReadResult::ok;
}

}  // namespace

const char* describe(FrameStatus status) {
  switch (status) {
    case FrameStatus::ok: return "ok";
    case FrameStatus::closed: return "closed";
    case FrameStatus::truncated: return "truncated frame";
    case FrameStatus::tooLong: return "frame too long";
    case FrameStatus::ioError: return "socket error";
  }
  return "unknown";
}

std::optional<std::string> frameBytes(const std::string& payload) {
  if (payload.size() > kMaxFrameLength) return std::nullopt;
  uint32_t length = static_cast<uint32_t>(payload.size());
  std::string out;
  out.reserve(4 + payload.size());
  bigendian::append(out, length, 4);
  out += payload;
  return out;
}

FrameStatus readFrame(int fd, std::string& payload) {
  char header[4];
  switch (readExactly(fd, header, sizeof header)) {
    case ReadResult::ok: break;
    case ReadResult::eofAtStart: return FrameStatus::closed;
    case ReadResult::eofInside: return FrameStatus::truncated;
    case ReadResult::failed: return FrameStatus::ioError;
  }
  const uint64_t length = bigendian::read(header, 4);
  if (length > kMaxFrameLength) return FrameStatus::tooLong;
  payload.clear();
  constexpr size_t kChunk = 64 * 1024;
  while (payload.size() < length) {
    const size_t done = payload.size();
    payload.resize(done + std::min<size_t>(kChunk, length - done));
    ReadResult result = readExactly(fd, payload.data() + done, payload.size() - done);
    if (result == ReadResult::failed) return FrameStatus::ioError;
    if (result != ReadResult::ok) return FrameStatus::truncated;
  }
  return FrameStatus::ok;
}

void FrameReader::append(const char* bytes, size_t length) {
  if (offset_ > 0 && offset_ == buffer_.size()) {
    // Everything before was consumed: start afresh rather than keep a large
    // buffer alive for an idle connection.
    std::string().swap(buffer_);
    offset_ = 0;
  }
  buffer_.append(bytes, length);
}

FrameReader::Next FrameReader::next(std::string& payload) {
  const size_t available = buffer_.size() - offset_;
  if (available < 4) return Next::needMore;
  const uint64_t length = bigendian::read(buffer_.data() + offset_, 4);
  if (length > kMaxFrameLength) return Next::tooLong;
  if (available - 4 < length) return Next::needMore;
  payload.assign(buffer_, offset_ + 4, length);
  offset_ += 4 + length;
  if (offset_ == buffer_.size()) {
    std::string().swap(buffer_);
    offset_ = 0;
  } else if (offset_ > buffer_.size() / 2) {
    buffer_.erase(0, offset_);
    offset_ = 0;
  }
  return Next::frame;
}

std::string RequestId::description() const {
  return largeUnsigned ? std::to_string(static_cast<uint64_t>(value)) : std::to_string(value);
}

namespace {

PlistRef idValue(const RequestId& id) {
  return id.largeUnsigned ? PlistValue::unsignedInteger(static_cast<uint64_t>(id.value)) : PlistValue::integer(id.value);
}

std::optional<RequestId> idOf(const PlistRef& value) {
  if (!value) return std::nullopt;
  if (const int64_t* id = value->asInteger()) return RequestId(*id);
  if (const uint64_t* id = value->asLargeUnsignedInteger()) return RequestId::largeUnsignedId(*id);
  return std::nullopt;
}

}  // namespace

PlistRef encodeRequest(const Request& request) {
  PlistArray present;
  PlistArray absent;
  for (size_t i = 0; i < request.arguments.size(); ++i) {
    if (request.arguments[i])
      present.push_back(request.arguments[i]);
    else
      absent.push_back(PlistValue::integer(static_cast<int64_t>(i)));
  }
  PlistDictionary dict;
  dict["id"] = idValue(request.id);
  dict["request"] = PlistValue::string(request.name);
  dict["arguments"] = PlistValue::array(std::move(present));
  if (!absent.empty()) dict["absent"] = PlistValue::array(std::move(absent));
  return PlistValue::dictionary(std::move(dict));
}

std::optional<Request> decodeRequest(const PlistRef& payload, std::string& why) {
  if (!payload || !payload->asDictionary()) {
    why = "payload is not a dictionary";
    return std::nullopt;
  }
  Request request;
  std::optional<RequestId> id = idOf(payload->get("id"));
  if (!id) {
    why = "request has no integer id";
    return std::nullopt;
  }
  request.id = *id;
  PlistRef name = payload->get("request");
  if (!name || !name->asString()) {
    why = "request has no name";
    return std::nullopt;
  }
  request.name = *name->asString();
  PlistRef arguments = payload->get("arguments");
  if (!arguments || !arguments->asArray()) {
    why = "request has no argument array";
    return std::nullopt;
  }
  const PlistArray& present = *arguments->asArray();
  std::set<size_t> absentIndexes;
  if (PlistRef absent = payload->get("absent")) {
    if (!absent->asArray()) {
      why = "absent is not an array";
      return std::nullopt;
    }
    const size_t total = present.size() + absent->asArray()->size();
    for (const PlistRef& index : *absent->asArray()) {
      if (!index || !index->asInteger() || *index->asInteger() < 0 ||
          static_cast<uint64_t>(*index->asInteger()) >= total ||
          !absentIndexes.insert(static_cast<size_t>(*index->asInteger())).second) {
        why = "absent holds an invalid index";
        return std::nullopt;
      }
    }
  }
  const size_t total = present.size() + absentIndexes.size();
  size_t next = 0;
  for (size_t i = 0; i < total; ++i) {
    if (absentIndexes.count(i))
      request.arguments.push_back(nullptr);
    else
      request.arguments.push_back(present[next++]);
  }
  return request;
}

namespace {

// Reply texts travel as property-list strings, which must be valid UTF-8
// without NUL bytes. A text that is not (a version value or a name given as
// raw bytes) is sent with each offending byte replaced by U+FFFD rather than
// leaving its request without an answer.
std::string wireText(const std::string& text) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = text[i] == '\0' ? 0 : utf8::sequenceAt(text, i);
    if (length > 0) {
      out.append(text, i, length);
      i += length;
    } else {
      out += kReplacement;
      i += 1;
    }
  }
  return out;
}

}  // namespace

PlistRef encodeError(const Error& error) {
  PlistDictionary info;
  // Extra entries first, so the well-known keys win on a clash.
  for (const auto& [key, value] : error.userInfo.extra) info[wireText(key)] = PlistValue::string(wireText(value));
  if (error.userInfo.localizedDescription)
    info["NSLocalizedDescription"] = PlistValue::string(wireText(*error.userInfo.localizedDescription));
  if (error.userInfo.url) info["NSURL"] = PlistValue::string(wireText(*error.userInfo.url));
  if (error.userInfo.underlying) info["NSUnderlyingError"] = encodeError(*error.userInfo.underlying);
  PlistDictionary dict;
  dict["domain"] = PlistValue::string(wireText(error.domain));
  dict["code"] = PlistValue::integer(error.code);
  dict["userInfo"] = PlistValue::dictionary(std::move(info));
  return PlistValue::dictionary(std::move(dict));
}

namespace {

ErrorRef decodeErrorAtDepth(const PlistRef& value, int depth) {
  if (!value || !value->asDictionary() || depth > kMaxErrorDepth) return nullptr;
  PlistRef domain = value->get("domain");
  PlistRef code = value->get("code");
  if (!domain || !domain->asString() || !code || !code->asInteger()) return nullptr;
  UserInfo info;
  if (PlistRef user = value->get("userInfo"); user && user->asDictionary()) {
    for (const auto& [key, entry] : *user->asDictionary()) {
      if (key == "NSLocalizedDescription" && entry->asString())
        info.localizedDescription = *entry->asString();
      else if (key == "NSURL" && entry->asString())
        info.url = *entry->asString();
      else if (key == "NSUnderlyingError")
        info.underlying = decodeErrorAtDepth(entry, depth + 1);
      else if (entry->asString())
        info.extra.emplace_back(key, *entry->asString());
    }
  }
  return makeError(*domain->asString(), *code->asInteger(), std::move(info));
}

}  // namespace

ErrorRef decodeError(const PlistRef& value) { return decodeErrorAtDepth(value, 0); }

PlistRef encodeReply(const Reply& reply) {
  PlistDictionary dict;
  dict["id"] = idValue(reply.id);
  dict["message"] = PlistValue::string(wireText(reply.message));
  if (reply.error) dict["error"] = encodeError(*reply.error);
  return PlistValue::dictionary(std::move(dict));
}

std::optional<Reply> decodeReply(const PlistRef& payload, std::string& why) {
  if (!payload || !payload->asDictionary()) {
    why = "reply is not a dictionary";
    return std::nullopt;
  }
  std::optional<RequestId> id = idOf(payload->get("id"));
  PlistRef message = payload->get("message");
  if (!id || !message || !message->asString()) {
    why = "reply has no id or no message";
    return std::nullopt;
  }
  Reply reply{*id, *message->asString(), nullptr};
  if (PlistRef error = payload->get("error")) {
    reply.error = decodeError(error);
    if (!reply.error) {
      why = "reply holds a malformed error";
      return std::nullopt;
    }
  }
  return reply;
}

}  // namespace ostrakel::remote
