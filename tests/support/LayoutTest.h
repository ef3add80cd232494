// The fixture of the repair scenarios: a fresh root with HOME=/home/tester in
// it and a forwarding file manager installed as the shared one, so that a
// test can fail chosen changes and see which were asked for.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/ForwardingFileSystem.h"
#include "tests/support/TempRoot.h"

namespace ostrakel::testkit {

class LayoutTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The whole chain, sound: the bundle NAME active with its first architecture.
  void makeSoundChain(const std::string& name);
  // The architecture name this machine runs first ("" on an unknown machine).
  static std::string firstArch();

  ForwardingFileSystem& files() { return *files_; }

  TempRoot root;
  std::shared_ptr<ForwardingFileSystem> files_;
};

}  // namespace ostrakel::testkit
