#include "platform/StandardOutput.h"

#include <unistd.h>

#include <cerrno>

namespace ostrakel::standardoutput {

void write(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace ostrakel::standardoutput
