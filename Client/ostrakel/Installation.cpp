#include "Client/ostrakel/Installation.h"

#include <algorithm>
#include <map>

#include "Client/ostrakel/Command.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel::cli {

namespace {

const std::vector<std::pair<std::string, std::string>>& platforms() {
  static const std::vector<std::pair<std::string, std::string>> table = {
      {"x86_64-linux", "x86_64"}, {"i386-linux", "i386"}, {"aarch64-linux", "arm64"}};
  return table;
}

bool holdsTeX(FileSystem& fm, const std::string& folder) {
  for (const char* program : {"tex", "pdftex"})
    if (fm.isExecutableFile(path::appendComponent(folder, program))) return true;
  return false;
}

bool holdsAnyTeXProgram(FileSystem& fm, const std::string& folder) {
  for (const std::string& program : Tools4Ostrakel::expectedPrograms())
    if (fm.isExecutableFile(path::appendComponent(folder, program))) return true;
  return false;
}

bool isYear(const std::string& text) {
  return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The release file is a few lines; its first names the year.
constexpr size_t kReleaseFileBytes = 64 * 1024;

// "TeX Live 2024": the year from the tree's folder name, else from the
// release file the installer leaves at its top.
std::string texLiveName(FileSystem& fm, const std::string& folder) {
  const std::string last = path::lastComponent(folder);
  if (isYear(last)) return "TeX Live " + last;
  if (std::optional<std::string> release =
          fm.readFile(path::appendComponent(folder, "release-texlive.txt"), kReleaseFileBytes, nullptr)) {
    const std::string firstLine = release->substr(0, release->find('\n'));
    const size_t at = firstLine.rfind("version ");
    if (at != std::string::npos && isYear(firstLine.substr(at + 8, 4)))
      return "TeX Live " + firstLine.substr(at + 8, 4);
  }
  return "TeX Live " + last;
}

// A folder of programs is named after the folder, or after its parent when
// it is just a "bin" folder; the system's own /usr/bin is "System TeX".
std::string plainName(const std::string& folder) {
  std::string last = path::lastComponent(folder);
  if (last == "bin") {
    const std::string parent = path::lastComponent(path::deleteLastComponent(folder));
    last = parent == "usr" || parent == "/" || parent.empty() ? "System TeX" : parent;
  }
  while (!last.empty() && last[0] == '.') last.erase(0, 1);
  return last.empty() || last == "/" ? "TeX" : last;
}

// This machine's runnable sets first, in its order; the others after them.
void orderForThisMachine(std::vector<std::pair<std::string, std::string>>& sets) {
  const StringList& runnable = Tools4Ostrakel::architectureNames();
  auto rank = [&](const std::string& set) {
    auto found = std::find(runnable.begin(), runnable.end(), set);
    return found == runnable.end() ? runnable.size() : static_cast<size_t>(found - runnable.begin());
  };
  std::stable_sort(sets.begin(), sets.end(),
                   [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });
}

}  // namespace

std::string setNameOfPlatform(const std::string& platform) {
  for (const auto& [folder, set] : platforms())
    if (folder == platform) return set;
  return {};
}

Installation recognizeInstallation(const std::string& folder) {
  FileSystem& fm = fileManager();
  bool isDirectory = false;
  if (!fm.fileExists(folder, &isDirectory) || !isDirectory)
    throw WorkFailed{"There is no folder " + printable(folder) + " to add."};
  Installation installation;
  installation.folder = folder;
  const std::string bin = path::appendComponent(folder, "bin");
  if (fm.fileExists(bin, &isDirectory) && isDirectory) {
    for (const auto& [platform, set] : platforms()) {
      const std::string programs = path::appendComponent(bin, platform);
      if (holdsTeX(fm, programs)) installation.sets.emplace_back(set, programs);
    }
    if (!installation.sets.empty()) {
      installation.texLive = true;
      installation.suggestedName = texLiveName(fm, folder);
      orderForThisMachine(installation.sets);
      return installation;
    }
  }
  // One platform folder of a TeX Live tree: its set is the platform's.
  const std::string platformSet = setNameOfPlatform(path::lastComponent(folder));
  const std::string parent = path::deleteLastComponent(folder);
  if (!platformSet.empty() && path::lastComponent(parent) == "bin" && holdsTeX(fm, folder)) {
    installation.sets.emplace_back(platformSet, folder);
    installation.suggestedName = texLiveName(fm, path::deleteLastComponent(parent));
    return installation;
  }
  if (holdsAnyTeXProgram(fm, folder)) {
    const StringList& runnable = Tools4Ostrakel::architectureNames();
    if (runnable.empty())
      throw WorkFailed{"This machine has no binary set name for the programs in " + printable(folder) +
                       "; wrap a TeX Live tree instead, whose bin folders name their machines."};
    installation.sets.emplace_back(runnable.front(), folder);
    installation.suggestedName = plainName(folder);
    return installation;
  }
  throw WorkFailed{printable(folder) +
                   " holds no TeX: neither a TeX Live tree (bin/x86_64-linux, bin/i386-linux or "
                   "bin/aarch64-linux holding tex or pdftex) nor a folder with TeX programs."};
}

}  // namespace ostrakel::cli
