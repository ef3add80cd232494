// Recognising an installed TeX: a TeX Live tree, whose bin/PLATFORM folders
// hold the programs of one machine each, or a plain folder of TeX programs.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ostrakel::cli {

struct Installation {
  std::string folder;
  bool texLive = false;
  // Binary set name -> folder of programs, this machine's preferred set first.
  std::vector<std::pair<std::string, std::string>> sets;
  std::string suggestedName;
};

// The binary set name of a TeX Live platform folder ("x86_64-linux" gives
// "x86_64"); empty for platforms without one.
std::string setNameOfPlatform(const std::string& platform);

// Throws WorkFailed when `folder` holds no TeX this can wrap.
Installation recognizeInstallation(const std::string& folder);

}  // namespace ostrakel::cli
