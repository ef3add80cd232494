// `ostrakel show`: the active distribution and each link of the chain from
// /usr/texbin to its programs, with whether it is sound and what repairs it.
#include <cstdlib>
#include <iostream>

#include "Client/ostrakel/Catalog.h"
#include "Client/ostrakel/Json.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel::cli {

namespace {

struct Link {
  std::string path;
  std::string kind;                 // "link", "folder", "missing", "file"
  std::optional<std::string> text;  // the link's text
  bool sound = false;
  std::optional<std::string> repair;
};

Link inspect(FileSystem& fm, const std::string& path) {
  Link link;
  link.path = path;
  link.kind = "missing";
  link.text = fm.destinationOfSymbolicLink(path, nullptr);
  bool isDirectory = false;
  if (link.text)
    link.kind = "link";
  else if (fileExistsAtPath(fm, path, &isDirectory, false))
    link.kind = isDirectory ? "folder" : "file";
  return link;
}

bool pathHasTexbin() {
  const char* value = std::getenv("PATH");
  std::string path = value ? value : "";
  size_t start = 0;
  for (;;) {
    size_t end = path.find(':', start);
    std::string entry = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    if (entry == "/usr/texbin") return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

struct Report {
  BridgeRef active;
  ArchitectureRef activeSet;
  std::vector<Link> links;
  std::vector<std::string> unsoundBundles;  // other bundles whose own texbin link names no set
  std::optional<std::string> tex;           // where /usr/texbin/tex leads
  bool sound = true;
  bool pathOK = false;
};

Report examine() {
  FileSystem& fm = fileManager();
  Report report;
  BridgeArray bridges = readCatalog();
  for (const BridgeRef& bridge : bridges) {
    if (bridge->isActive() && !report.active) report.active = bridge;
    if (!bridge->architectureWithSource(Programs_texbin_Destination4Ostrakel(bridge->fileURL())))
      report.unsoundBundles.push_back(bridge->fileURL().path);
  }
  const std::string repair = "ostrakel repair";
  const std::string programs = Tools4Ostrakel::Programs_texbin_Path();

  Link usr = inspect(fm, Tools4Ostrakel::usr_texbin_Path());
  usr.sound = usr.text == Tools4Ostrakel::usr_texbin_Destination() ||
              (usr.kind != "missing" && fm.resolveSymlinks(usr.path) == fm.resolveSymlinks(programs));
  Link programsLink = inspect(fm, programs);
  programsLink.sound = programsLink.text == Tools4Ostrakel::Programs_texbin_Destination();
  const std::string defaultTeX = path::standardize(Tools4Ostrakel::LTD_DefaultTeX_Path());
  Link folder = inspect(fm, defaultTeX);
  folder.sound = folder.kind == "folder";
  Link contents = inspect(fm, Tools4Ostrakel::LTD_DefaultTeX_Contents_Path());
  contents.sound = report.active != nullptr;
  for (Link* link : {&usr, &programsLink, &folder}) {
    if (!link->sound) link->repair = repair;
    report.links.push_back(*link);
  }
  // Making a distribution active makes the folder; a repair does not.
  if (folder.kind == "missing") report.links.back().repair = "ostrakel use NAME";
  if (!contents.sound) contents.repair = "ostrakel use NAME";
  report.links.push_back(contents);
  if (report.active) {
    Link own = inspect(fm, Programs_texbin_Path4Ostrakel(report.active->fileURL()));
    report.activeSet = report.active->activeArchitecture();
    own.sound = report.activeSet != nullptr;
    if (!own.sound) own.repair = repair;
    report.links.push_back(own);
  }
  for (const Link& link : report.links) report.sound = report.sound && link.sound;
  report.sound = report.sound && report.unsoundBundles.empty();
  const std::string tex = path::appendComponent(Tools4Ostrakel::usr_texbin_Path(), "tex");
  if (fm.isExecutableFile(tex)) report.tex = fm.resolveSymlinks(tex);
  report.pathOK = pathHasTexbin();
  return report;
}

void printJson(const Report& report) {
  std::cout << "{\"active\": "
            << (report.active ? "{\"name\": " + jsonString(report.active->displayName()) +
                                    ", \"path\": " + jsonString(report.active->fileURL().path) + "}"
                              : std::string("null"))
            << ",\n \"activeArchitecture\": "
            << (report.activeSet ? jsonString(report.activeSet->source()) : std::string("null")) << ",\n \"links\": [";
  for (size_t i = 0; i < report.links.size(); ++i) {
    const Link& link = report.links[i];
    std::cout << (i ? ",\n  " : "\n  ") << "{\"path\": " << jsonString(link.path) << ", \"kind\": \"" << link.kind
              << "\", \"text\": " << jsonStringOrNull(link.text) << ", \"sound\": " << (link.sound ? "true" : "false")
              << ", \"repair\": " << jsonStringOrNull(link.repair) << "}";
  }
  std::cout << "],\n \"unsoundDistributions\": [";
  for (size_t i = 0; i < report.unsoundBundles.size(); ++i)
    std::cout << (i ? ", " : "") << jsonString(report.unsoundBundles[i]);
  std::cout << "],\n \"tex\": " << jsonStringOrNull(report.tex)
            << ",\n \"sound\": " << (report.sound ? "true" : "false")
            << ",\n \"pathHasTexbin\": " << (report.pathOK ? "true" : "false") << "}\n";
}

void printText(const Report& report) {
  if (report.active) {
    std::cout << "Active distribution: " << printable(report.active->displayName());
    if (report.activeSet) std::cout << " (binary set " << printable(report.activeSet->source()) << ")";
    std::cout << "\n  " << printable(report.active->fileURL().path) << "\n";
  } else {
    std::cout << "No distribution is active.\n";
  }
  std::cout << "Links:\n";
  for (const Link& link : report.links) {
    std::cout << (link.sound ? "  ok        " : "  UNSOUND   ") << printable(link.path);
    if (link.text)
      std::cout << " -> " << printable(*link.text);
    else
      std::cout << " (" << (link.kind == "missing" ? "missing" : link.kind == "folder" ? "a folder" : "a file") << ")";
    if (link.repair) std::cout << "    repair: " << *link.repair;
    std::cout << "\n";
  }
  for (const std::string& bundle : report.unsoundBundles)
    std::cout << "  UNSOUND   " << printable(path::appendComponent(bundle, "Contents/Programs/texbin"))
              << " names no binary set    repair: ostrakel repair\n";
  if (report.tex)
    std::cout << "tex: /usr/texbin/tex -> " << printable(*report.tex) << "\n";
  else
    std::cout << "tex: not found through /usr/texbin\n";
  if (!report.pathOK)
    std::cout << "Note: your PATH lacks /usr/texbin, so commands will not find tex there; log in again "
                 "(login shells get it from /etc/profile.d) or run: export PATH=\"/usr/texbin:$PATH\"\n";
}

}  // namespace

int runShow(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("show", arguments, {"--json"}, {}, 0, 0);
  Report report = examine();
  if (parsed.has("--json"))
    printJson(report);
  else
    printText(report);
  return kSuccess;
}

}  // namespace ostrakel::cli
