#include "bench/tools/Frames.h"

#include "platform/BigEndian.h"
#include "platform/RemoteClient.h"
#include "platform/RemoteWire.h"

namespace ostrakel::bench {

int connectTo(const std::string& path) {
  std::string why;
  return remote::connectToSocket(path, why);
}

PlistRef requestDictionary(int64_t id, const std::string& name, const PlistArray& present, int count) {
  PlistArray absent;
  for (int i = static_cast<int>(present.size()); i < count; ++i) absent.push_back(PlistValue::integer(i));
  return PlistValue::dictionary({{"id", PlistValue::integer(id)},
                                 {"request", PlistValue::string(name)},
                                 {"arguments", PlistValue::array(present)},
                                 {"absent", PlistValue::array(absent)}});
}

std::string frame(const PlistRef& value) {
  std::string payload = plist::toBinary(*value).value_or(std::string());
  std::string bytes;
  bigendian::append(bytes, payload.size(), 4);
  return bytes + payload;
}

bool readFrame(int fd, std::string& payload) { return remote::readFrame(fd, payload) == remote::FrameStatus::ok; }

}  // namespace ostrakel::bench
