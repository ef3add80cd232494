// A throw-away system root for one test: a fresh folder that stands for "/"
// while the object lives, helpers that lay out files, links and bundles in
// it, and an optional listener on its /dev/log for the system log's datagrams.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace ostrakel::testkit {

inline constexpr const char* kLTD = "/Library/TeX/Distributions";

class TempRoot {
public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& host() const { return host_; }
  // The host path of a path inside the root.
  std::string host(const std::string& path) const { return host_ + path; }

  // Each maker creates the missing parent folders first.
  void folder(const std::string& path) const;
  void file(const std::string& path, const std::string& content = "x", mode_t mode = 0644) const;
  void program(const std::string& path) const;  // an executable shell script
  // Puts a link holding `text` at `path`, replacing what stands there.
  void link(const std::string& path, const std::string& text) const;
  void setModificationTime(const std::string& path, time_t seconds) const;
  // A bundle FOLDER/NAME.velmar with an executable pdftex in one folder per
  // architecture, and its own texbin link when `texbin` is given.
  std::string bundle(const std::string& folder, const std::string& name,
                     const std::vector<std::string>& architectures = {"x86_64"},
                     const std::string& texbin = "") const;

  // The text of the link at `path`, "" when no link stands there.
  std::string linkText(const std::string& path) const;
  bool exists(const std::string& path) const;  // not following a final link
  bool isLink(const std::string& path) const;
  bool isRealFolder(const std::string& path) const;
  std::string readText(const std::string& path) const;

  // Listens on the root's /dev/log, where the system log sends its messages.
  bool listenOnDevLog();
  // The next datagram, or none within the timeout.
  std::optional<std::string> nextDatagram(int timeoutMs = 2000);
  // The text after the "IDENT[PID]: " header of the next datagram.
  std::optional<std::string> nextText(int timeoutMs = 2000);

private:
  std::string host_;
  int log_ = -1;
};

}  // namespace ostrakel::testkit
