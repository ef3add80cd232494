// A file URL: a path (inside the system root) with its "file://" string form.
#pragma once

#include <optional>
#include <string>

namespace ostrakel {

struct FileURL {
  std::string path;

  // "file://" followed by the percent-encoded path.
  std::string absoluteString() const;
  std::string description() const { return absoluteString(); }
  // Accepts "file://PATH" (percent-decoded) and "file:PATH"; none otherwise.
  static std::optional<FileURL> fromString(const std::string& text);
  bool operator==(const FileURL&) const = default;
};

}  // namespace ostrakel
