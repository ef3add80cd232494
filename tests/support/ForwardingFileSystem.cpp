#include "tests/support/ForwardingFileSystem.h"

#include "platform/PosixFileSystem.h"

namespace ostrakel::testkit {

ForwardingFileSystem::ForwardingFileSystem() : real_(std::make_unique<PosixFileSystem>()) {}

void ForwardingFileSystem::failOn(Op op, const std::string& path, int errorNumber) {
  failures_[{op, path}] = errorNumber;
}

bool ForwardingFileSystem::injectsFailure(Op op, const std::string& path, ErrorSlot slot) {
  static const char* const names[] = {"remove", "mkdir", "link", "write"};
  changes_.push_back(std::string(names[static_cast<int>(op)]) + " " + path);
  auto failure = failures_.find({op, path});
  if (failure == failures_.end()) return false;
  storeFirstError(slot, posixError(failure->second, path));
  return true;
}

bool ForwardingFileSystem::fileExists(const std::string& path, bool* isDirectory) {
  return real_->fileExists(path, isDirectory);
}
std::optional<std::string> ForwardingFileSystem::destinationOfSymbolicLink(const std::string& path,
                                                                           ErrorSlot slot) {
  return real_->destinationOfSymbolicLink(path, slot);
}
bool ForwardingFileSystem::removeItem(const std::string& path, ErrorSlot slot) {
  return !injectsFailure(Op::Remove, path, slot) && real_->removeItem(path, slot);
}
bool ForwardingFileSystem::createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) {
  return !injectsFailure(Op::CreateDirectory, path, slot) && real_->createDirectory(path, intermediates, slot);
}
bool ForwardingFileSystem::createSymbolicLink(const std::string& path, const std::string& destination,
                                              ErrorSlot slot) {
  return !injectsFailure(Op::Link, path, slot) && real_->createSymbolicLink(path, destination, slot);
}
bool ForwardingFileSystem::replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                                                   ErrorSlot slot) {
  return !injectsFailure(Op::Link, path, slot) && real_->replaceWithSymbolicLink(path, destination, slot);
}
std::optional<std::vector<std::string>> ForwardingFileSystem::contentsOfDirectory(const std::string& path,
                                                                                 ErrorSlot slot) {
  ++listings_;
  return real_->contentsOfDirectory(path, slot);
}
std::string ForwardingFileSystem::resolveSymlinks(const std::string& path) { return real_->resolveSymlinks(path); }
bool ForwardingFileSystem::isExecutableFile(const std::string& path) { return real_->isExecutableFile(path); }
std::optional<FileAttributes> ForwardingFileSystem::attributesOfItem(const std::string& path, ErrorSlot slot) {
  return real_->attributesOfItem(path, slot);
}
std::optional<std::string> ForwardingFileSystem::readFile(const std::string& path, size_t maxBytes,
                                                          ErrorSlot slot) {
  return real_->readFile(path, maxBytes, slot);
}
bool ForwardingFileSystem::isFolder(const std::string& path, ErrorSlot slot) { return real_->isFolder(path, slot); }
bool ForwardingFileSystem::writeFileAtomically(const std::string& path, const std::string& bytes,
                                               ErrorSlot slot) {
  return !injectsFailure(Op::Write, path, slot) && real_->writeFileAtomically(path, bytes, slot);
}
std::vector<std::string> ForwardingFileSystem::mountedVolumes() { return real_->mountedVolumes(); }
std::string ForwardingFileSystem::displayName(const std::string& path) { return real_->displayName(path); }

}  // namespace ostrakel::testkit
