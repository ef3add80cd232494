#include "RepairFixture.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Library/Tools4Ostrakel.h"
#include "platform/PosixFileSystem.h"
#include "platform/SystemRoot.h"

namespace fsys = std::filesystem;

namespace ostrakel::testing {

ScriptedFileSystem::ScriptedFileSystem() : real_(std::make_unique<PosixFileSystem>()) {}

ErrorRef ScriptedFileSystem::injectedError(const std::string& path) { return posixError(EIO, path); }

bool ScriptedFileSystem::injectsFailure(Op op, const std::string& path, ErrorSlot slot) {
  static const char* const names[] = {"remove", "mkdir", "link", "write"};
  changes_.push_back(std::string(names[static_cast<int>(op)]) + " " + path);
  if (!failures_.count({op, path})) return false;
  storeFirstError(slot, injectedError(path));
  return true;
}

bool ScriptedFileSystem::fileExists(const std::string& path, bool* isDirectory) {
  return real_->fileExists(path, isDirectory);
}
std::optional<std::string> ScriptedFileSystem::destinationOfSymbolicLink(const std::string& path,
                                                                         ErrorSlot slot) {
  return real_->destinationOfSymbolicLink(path, slot);
}
bool ScriptedFileSystem::removeItem(const std::string& path, ErrorSlot slot) {
  return !injectsFailure(Op::Remove, path, slot) && real_->removeItem(path, slot);
}
bool ScriptedFileSystem::createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) {
  return !injectsFailure(Op::CreateDirectory, path, slot) && real_->createDirectory(path, intermediates, slot);
}
bool ScriptedFileSystem::createSymbolicLink(const std::string& path, const std::string& destination,
                                            ErrorSlot slot) {
  return !injectsFailure(Op::Link, path, slot) && real_->createSymbolicLink(path, destination, slot);
}
bool ScriptedFileSystem::replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                                                 ErrorSlot slot) {
  return !injectsFailure(Op::Link, path, slot) && real_->replaceWithSymbolicLink(path, destination, slot);
}
std::optional<std::vector<std::string>> ScriptedFileSystem::contentsOfDirectory(const std::string& path,
                                                                               ErrorSlot slot) {
  ++listings_;
  return real_->contentsOfDirectory(path, slot);
}
std::string ScriptedFileSystem::resolveSymlinks(const std::string& path) {
  return real_->resolveSymlinks(path);
}
bool ScriptedFileSystem::isExecutableFile(const std::string& path) { return real_->isExecutableFile(path); }
std::optional<FileAttributes> ScriptedFileSystem::attributesOfItem(const std::string& path, ErrorSlot slot) {
  return real_->attributesOfItem(path, slot);
}
std::optional<std::string> ScriptedFileSystem::readFile(const std::string& path, size_t maxBytes,
                                                        ErrorSlot slot) {
  return real_->readFile(path, maxBytes, slot);
}

bool ScriptedFileSystem::isFolder(const std::string& path, ErrorSlot slot) {
  return real_->isFolder(path, slot);
}
bool ScriptedFileSystem::writeFileAtomically(const std::string& path, const std::string& bytes,
                                             ErrorSlot slot) {
  return !injectsFailure(Op::Write, path, slot) && real_->writeFileAtomically(path, bytes, slot);
}
std::vector<std::string> ScriptedFileSystem::mountedVolumes() { return real_->mountedVolumes(); }
std::string ScriptedFileSystem::displayName(const std::string& path) { return real_->displayName(path); }

void RepairTest::SetUp() {
  char pattern[] = "/tmp/ostrakel-repairs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root_ = fsys::canonical(pattern).string();
  systemroot::setHostRoot(root_);
  setenv("HOME", "/home/tester", 1);
  makeFolder("/home/tester");
  fs_ = std::make_shared<ScriptedFileSystem>();
  setFileManager(fs_);
}

void RepairTest::TearDown() {
  setFileManager(nullptr);
  systemroot::setHostRoot("");
  std::error_code ignored;
  fsys::remove_all(root_, ignored);
}

std::string RepairTest::host(const std::string& path) const { return root_ + path; }

void RepairTest::makeFolder(const std::string& path) { fsys::create_directories(host(path)); }

void RepairTest::makeFile(const std::string& path, const std::string& content) {
  fsys::create_directories(fsys::path(host(path)).parent_path());
  std::ofstream(host(path)) << content;
}

void RepairTest::makeProgram(const std::string& path) {
  makeFile(path, "#!/bin/sh\n");
  fsys::permissions(host(path), fsys::perms::owner_all | fsys::perms::group_exec | fsys::perms::others_exec);
}

void RepairTest::makeLink(const std::string& path, const std::string& text) {
  fsys::create_directories(fsys::path(host(path)).parent_path());
  fsys::create_symlink(text, host(path));
}

std::string RepairTest::linkText(const std::string& path) const {
  std::error_code error;
  auto text = fsys::read_symlink(host(path), error);
  return error ? std::string() : text.string();
}

bool RepairTest::exists(const std::string& path) const {
  std::error_code error;
  return fsys::symlink_status(host(path), error).type() != fsys::file_type::not_found && !error;
}

bool RepairTest::isRealFolder(const std::string& path) const {
  std::error_code error;
  return fsys::symlink_status(host(path), error).type() == fsys::file_type::directory;
}

std::string RepairTest::readText(const std::string& path) const {
  std::ifstream in(host(path));
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string RepairTest::firstArch() {
  const auto& names = Tools4Ostrakel::architectureNames();
  return names.empty() ? std::string() : names.front();
}

std::string RepairTest::makeBridge(const std::string& name, const std::vector<std::string>& architectures) {
  const std::string bundle = "/Library/TeX/Distributions/" + name + ".velmar";
  for (const auto& arch : architectures) makeProgram(bundle + "/Contents/Programs/" + arch + "/tex");
  return bundle;
}

void RepairTest::makeSoundChain(const std::string& bridgeName) {
  const std::string bundle = makeBridge(bridgeName, {firstArch()});
  makeLink(bundle + "/Contents/Programs/texbin", firstArch());
  makeLink("/Library/TeX/Distributions/.DefaultTeX/Contents", "../" + bridgeName + ".velmar/Contents");
  makeLink("/Library/TeX/Distributions/Programs/texbin", "../.DefaultTeX/Contents/Programs/texbin");
  makeLink("/usr/texbin", "../Library/TeX/Distributions/Programs/texbin");
}

}  // namespace ostrakel::testing
