// Captures what is written to a file descriptor (standard output or error)
// while an object of this class lives.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace ostrakel::testkit {

class CaptureFd {
public:
  explicit CaptureFd(int fd) : fd_(fd) {
    std::fflush(nullptr);
    char pattern[] = "/tmp/ostrakel-capture-XXXXXX";
    int file = ::mkstemp(pattern);
    path_ = pattern;
    saved_ = ::dup(fd_);
    ::dup2(file, fd_);
    ::close(file);
  }
  ~CaptureFd() {
    restore();
    ::unlink(path_.c_str());
  }
  std::string text() {
    restore();
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

private:
  void restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
  }
  int fd_;
  int saved_ = -1;
  std::string path_;
};

}  // namespace ostrakel::testkit
