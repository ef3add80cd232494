// The real file manager behind a forwarding one that records the changes it
// is asked for, counts folder listings and fails chosen calls: tests run as
// root, where permission bits stop nothing. It forwards only the basic
// operations, so the combined readings (readFolder, resolvedExecutableFile)
// take the generic way through them.
#pragma once

#include <cerrno>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace ostrakel::testkit {

enum class Op { Remove, CreateDirectory, Link, Write };

class ForwardingFileSystem : public FileSystem {
public:
  ForwardingFileSystem();

  // Makes every call of `op` on `path` (a path inside the root) fail with
  // `errorNumber`, leaving the item as it is.
  void failOn(Op op, const std::string& path, int errorNumber = EIO);
  // Every change asked for, in order, as "remove|mkdir|link|write PATH".
  const std::vector<std::string>& changes() const { return changes_; }
  int listings() const { return listings_; }

  bool fileExists(const std::string& path, bool* isDirectory) override;
  std::optional<std::string> destinationOfSymbolicLink(const std::string& path, ErrorSlot slot) override;
  bool removeItem(const std::string& path, ErrorSlot slot) override;
  bool createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) override;
  bool createSymbolicLink(const std::string& path, const std::string& destination, ErrorSlot slot) override;
  bool replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                               ErrorSlot slot) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path,
                                                              ErrorSlot slot) override;
  std::string resolveSymlinks(const std::string& path) override;
  bool isExecutableFile(const std::string& path) override;
  std::optional<FileAttributes> attributesOfItem(const std::string& path, ErrorSlot slot) override;
  std::optional<std::string> readFile(const std::string& path, size_t maxBytes, ErrorSlot slot) override;
  bool isFolder(const std::string& path, ErrorSlot slot) override;
  bool writeFileAtomically(const std::string& path, const std::string& bytes, ErrorSlot slot) override;
  std::vector<std::string> mountedVolumes() override;
  std::string displayName(const std::string& path) override;

private:
  bool injectsFailure(Op op, const std::string& path, ErrorSlot slot);

  std::unique_ptr<FileSystem> real_;
  std::map<std::pair<Op, std::string>, int> failures_;  // the error number of each
  std::vector<std::string> changes_;
  int listings_ = 0;
};

}  // namespace ostrakel::testkit
