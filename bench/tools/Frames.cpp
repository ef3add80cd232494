#include "bench/tools/Frames.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace ostrakel::bench {

int connectTo(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
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
  uint32_t n = static_cast<uint32_t>(payload.size());
  std::string bytes{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                    static_cast<char>(n)};
  return bytes + payload;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

static bool readAll(int fd, char* data, size_t size) {
  while (size) {
    ssize_t n = read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool readFrame(int fd, std::string& payload) {
  unsigned char head[4];
  if (!readAll(fd, reinterpret_cast<char*>(head), 4)) return false;
  uint32_t n = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
  if (n > (1u << 20)) return false;
  payload.resize(n);
  return readAll(fd, payload.data(), n);
}

}  // namespace ostrakel::bench
