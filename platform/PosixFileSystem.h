// The real file manager: POSIX calls on paths inside the system root. Lookups
// go through openat2(2) with RESOLVE_IN_ROOT from the root's descriptor, so
// the kernel itself keeps link resolution inside the root; changes are made
// with the *at() calls on the resolved parent folder.
#pragma once

#include "platform/FileSystem.h"

namespace ostrakel {

class PosixFileSystem final : public FileSystem {
public:
  bool fileExists(const std::string& path, bool* isDirectory = nullptr) override;
  std::optional<std::string> destinationOfSymbolicLink(const std::string& path, ErrorSlot slot) override;
  bool removeItem(const std::string& path, ErrorSlot slot) override;
  bool createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) override;
  bool createSymbolicLink(const std::string& path, const std::string& destination, ErrorSlot slot) override;
  bool isFolder(const std::string& path, ErrorSlot slot) override;
  bool replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                               ErrorSlot slot) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path,
                                                              ErrorSlot slot) override;
  std::string resolveSymlinks(const std::string& path) override;
  bool isExecutableFile(const std::string& path) override;
  std::optional<FileAttributes> attributesOfItem(const std::string& path, ErrorSlot slot) override;
  std::optional<std::string> readFile(const std::string& path, size_t maxBytes, ErrorSlot slot) override;
  bool writeFileAtomically(const std::string& path, const std::string& bytes, ErrorSlot slot) override;
  std::vector<std::string> mountedVolumes() override;
  std::string displayName(const std::string& path) override;
  std::optional<FolderListing> readFolder(const std::string& path, bool withAttributes, ErrorSlot slot) override;
  std::optional<std::string> resolvedExecutableFile(const std::string& path) override;

private:
  std::string resolvedNow(const std::string& path);
  std::optional<std::string> resolvedExecutableNow(const std::string& path);
};

}  // namespace ostrakel
