// A temporary system root with helpers that build distribution bundles in it.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/SystemRoot.h"

namespace ostrakel::testing {

class TempRoot {
public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrakel-dist-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    host_ = buffer.data();
    systemroot::setHostRoot(host_);
  }
  ~TempRoot() {
    systemroot::setHostRoot("");
    std::error_code ignored;
    std::filesystem::permissions(host_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(host_, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  std::string host(const std::string& path) const { return host_ + path; }

  void dir(const std::string& path) const { std::filesystem::create_directories(host(path)); }
  void file(const std::string& path, const std::string& content = "", mode_t mode = 0644) const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::ofstream(host(path), std::ios::binary) << content;
    chmod(host(path).c_str(), mode);
  }
  void executable(const std::string& path) const { file(path, "#!/bin/sh\nexit 0\n", 0755); }
  void link(const std::string& path, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::error_code ignored;
    std::filesystem::remove(host(path), ignored);
    std::filesystem::create_symlink(text, host(path));
  }
  std::string linkText(const std::string& path) const {
    std::error_code error;
    auto text = std::filesystem::read_symlink(host(path), error);
    return error ? std::string("<no link>") : text.string();
  }
  void setModificationTime(const std::string& path, time_t seconds) const {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, host(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

  // A bundle <folder>/<name>.velmar with one folder per architecture holding
  // an executable pdftex, and optionally its own texbin link.
  std::string bundle(const std::string& folder, const std::string& name,
                     const std::vector<std::string>& architectures = {"x86_64"},
                     const std::string& texbin = "") const {
    std::string path = folder + "/" + name + ".velmar";
    dir(path + "/Contents/Programs");
    for (const std::string& arch : architectures) executable(path + "/Contents/Programs/" + arch + "/pdftex");
    if (!texbin.empty()) link(path + "/Contents/Programs/texbin", texbin);
    return path;
  }

private:
  std::string host_;
};

inline constexpr const char* kLTD = "/Library/TeX/Distributions";

}  // namespace ostrakel::testing
