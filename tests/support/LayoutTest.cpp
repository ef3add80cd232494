#include "tests/support/LayoutTest.h"

#include <cstdlib>

#include "Library/Tools4Ostrakel.h"

namespace ostrakel::testkit {

void LayoutTest::SetUp() {
  ::setenv("HOME", "/home/tester", 1);
  root.folder("/home/tester");
  files_ = std::make_shared<ForwardingFileSystem>();
  setFileManager(files_);
}

void LayoutTest::TearDown() { setFileManager(nullptr); }

std::string LayoutTest::firstArch() {
  const auto& names = Tools4Ostrakel::architectureNames();
  return names.empty() ? std::string() : names.front();
}

void LayoutTest::makeSoundChain(const std::string& name) {
  root.bundle(kLTD, name, {firstArch()}, firstArch());
  root.link(std::string(kLTD) + "/.DefaultTeX/Contents", "../" + name + ".velmar/Contents");
  root.link(std::string(kLTD) + "/Programs/texbin", "../.DefaultTeX/Contents/Programs/texbin");
  root.link("/usr/texbin", "../Library/TeX/Distributions/Programs/texbin");
}

}  // namespace ostrakel::testkit
