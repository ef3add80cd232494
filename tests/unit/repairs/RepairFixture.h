// A temporary system root for the repair scenarios, and a file manager that
// wraps the real one, records what it is asked to change and fails chosen
// calls (tests run as root, where permission bits stop nothing).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace ostrakel::testing {

enum class Op { Remove, CreateDirectory, Link, Write };

class ScriptedFileSystem : public FileSystem {
public:
  ScriptedFileSystem();

  // Makes every call of `op` on `path` (a path inside the root) fail with EIO.
  void failOn(Op op, const std::string& path) { failures_.insert({op, path}); }
  // Every change asked for, in order, as "op path".
  const std::vector<std::string>& changes() const { return changes_; }
  int listings() const { return listings_; }
  static ErrorRef injectedError(const std::string& path);

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
  std::set<std::pair<Op, std::string>> failures_;
  std::vector<std::string> changes_;
  int listings_ = 0;
};

// Each test gets a fresh root (a mkdtemp folder) with HOME=/home/tester in it,
// and the scripted file manager installed as the shared one.
class RepairTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The host path of a path inside the root.
  std::string host(const std::string& path) const;
  void makeFolder(const std::string& path);
  void makeFile(const std::string& path, const std::string& content = "x");
  void makeProgram(const std::string& path);
  void makeLink(const std::string& path, const std::string& text);
  // Link text at `path`, "" when no link stands there.
  std::string linkText(const std::string& path) const;
  bool exists(const std::string& path) const;  // not following links
  bool isRealFolder(const std::string& path) const;
  std::string readText(const std::string& path) const;

  // /Library/TeX/Distributions/<name>.velmar with a "tex" program in each
  // architecture folder (the folder may be a link: see makeBridgeLinked).
  std::string makeBridge(const std::string& name, const std::vector<std::string>& architectures);
  // The whole chain, sound: the bridge active with its first architecture.
  void makeSoundChain(const std::string& bridgeName);
  // The architecture name this machine runs first (the tests need one).
  static std::string firstArch();

  ScriptedFileSystem& fs() { return *fs_; }

  std::string root_;
  std::shared_ptr<ScriptedFileSystem> fs_;
};

}  // namespace ostrakel::testing
