// A throw-away system root for tests that touch the disk: a fresh folder that
// stands for "/" while the object lives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SystemRoot.h"

namespace ostrakel::testing {

class TempRoot {
public:
  TempRoot() {
    char pattern[] = "/tmp/ostrakel-foundation-XXXXXX";
    const char* made = mkdtemp(pattern);
    host_ = made ? made : "";
    systemroot::setHostRoot(host_);
  }
  ~TempRoot() {
    systemroot::setHostRoot("");
    std::error_code ignored;
    std::filesystem::remove_all(host_, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  bool valid() const { return !host_.empty(); }
  // The host path of a path inside the root.
  std::string host(const std::string& path) const { return host_ + path; }

  void folder(const std::string& path) const { std::filesystem::create_directories(host(path)); }
  void file(const std::string& path, const std::string& text = "x") const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::ofstream(host(path)) << text;
  }
  void link(const std::string& path, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::filesystem::create_symlink(text, host(path));
  }
  // The text of the link at a path, "" when there is no link.
  std::string linkText(const std::string& path) const {
    std::error_code error;
    auto text = std::filesystem::read_symlink(host(path), error);
    return error ? std::string() : text.string();
  }
  bool isLink(const std::string& path) const { return std::filesystem::is_symlink(host(path)); }
  bool isRealFolder(const std::string& path) const {
    return !isLink(path) && std::filesystem::is_directory(host(path));
  }
  bool exists(const std::string& path) const {
    return std::filesystem::exists(std::filesystem::symlink_status(host(path)));
  }

private:
  std::string host_;
};

}  // namespace ostrakel::testing
