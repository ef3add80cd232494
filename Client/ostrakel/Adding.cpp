// `ostrakel add` and `ostrakel remove`: distributions made from an installed
// TeX. The distributions folder is changed by the service; a folder of the
// user's own (--into) directly.
#include <algorithm>
#include <iostream>

#include "Client/ostrakel/Catalog.h"
#include "Client/ostrakel/Installation.h"
#include "Client/ostrakel/Service.h"
#include "Library/Bridge/DistributionWrapping.h"
#include "Library/Common/Errors.h"
#include "Protocol/HelperRequests.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel::cli {

namespace {

std::string reasonOf(const ErrorRef& error) {
  ErrorRef cause = error;
  while (cause && cause->userInfo.underlying) cause = cause->userInfo.underlying;
  return cause && cause->userInfo.localizedDescription ? printable(*cause->userInfo.localizedDescription)
                                                       : std::string("unknown error");
}

bool inDistributionsFolder(const std::string& bundle) {
  return path::deleteLastComponent(bundle) == path::standardize(Tools4Ostrakel::LTD_Path());
}

// The bundle `remove` means: a listed distribution, or the bundle of that
// name in the distributions folder (a wrapped set this machine cannot run is
// not listed), or a path.
std::string bundleToRemove(const std::string& which) {
  if (which.find('/') == std::string::npos) {
    const std::string direct = path::appendComponent(Tools4Ostrakel::LTD_Path(),
                                                     path::appendExtension(which, Tools4Ostrakel::velmarExtension()));
    BridgeArray bridges = readCatalog();
    for (const BridgeRef& bridge : bridges)
      if (bridge->displayName() == which) return bridge->fileURL().path;
    if (isPlainFileName(which) && fileManager().fileExists(direct)) return direct;
    return chooseDistribution(bridges, which, {}, "remove")->fileURL().path;
  }
  const std::string bundle = pathInsideRoot(which, "remove");
  if (!fileManager().fileExists(bundle))
    throw WorkFailed{"There is no distribution bundle at " + printable(bundle) + "; \"ostrakel list\" shows them."};
  return bundle;
}

}  // namespace

int runAdd(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("add", arguments, {}, {"--name", "--into"}, 1, 1);
  Installation installation = recognizeInstallation(pathInsideRoot(parsed.operands[0], "add"));
  const std::string name = parsed.value("--name") ? *parsed.value("--name") : installation.suggestedName;
  if (!isPlainFileName(name) || name.find('\0') != std::string::npos)
    throw UsageError{"the name " + quoted(name) +
                         " cannot name a bundle: it must not be empty, start with \".\" or "
                         "hold \"/\".",
                     "add"};
  const std::string folder =
      parsed.value("--into") ? pathInsideRoot(*parsed.value("--into"), "add") : Tools4Ostrakel::LTD_Path();
  DistributionWrapping wrapping;
  wrapping.bundlePath = path::appendComponent(folder, path::appendExtension(name, Tools4Ostrakel::velmarExtension()));
  wrapping.installation = installation.folder;
  wrapping.programs = installation.sets;

  FileSystem& fm = fileManager();
  if (fm.fileExists(wrapping.bundlePath) || fm.destinationOfSymbolicLink(wrapping.bundlePath, nullptr))
    throw WorkFailed{"There is a distribution " + quoted(name) + " already (" + printable(wrapping.bundlePath) +
                     "); choose another name with --name NAME."};
  const std::string doing = "add " + quoted(name);
  if (parsed.value("--into") && !inDistributionsFolder(wrapping.bundlePath)) {
    ErrorRef error;
    if (!addWrappedDistribution(wrapping, &error))
      throw WorkFailed{"Could not " + doing + " to " + printable(folder) + ": " + reasonOf(error) +
                           "; choose a folder you can write.",
                       errorDetails(error)};
  } else {
    PlistArray programs;
    for (const auto& [set, programFolder] : wrapping.programs)
      programs.push_back(
          PlistValue::array({PlistValue::string(set), PlistValue::string(FileURL{programFolder}.absoluteString())}));
    PlistRef description = PlistValue::dictionary(
        {{distributionkeys::kBundle, PlistValue::string(FileURL{wrapping.bundlePath}.absoluteString())},
         {distributionkeys::kInstallation, PlistValue::string(FileURL{wrapping.installation}.absoluteString())},
         {distributionkeys::kPrograms, PlistValue::array(std::move(programs))}});
    askService(requestnames::kAddDistribution, {description}, doing, "add_distribution");
  }
  std::string sets;
  for (const auto& [set, programFolder] : wrapping.programs) sets += (sets.empty() ? "" : ", ") + printable(set);
  std::cout << "Added " << quoted(name) << " (binary sets " << sets << "): " << printable(wrapping.bundlePath) << "\n";
  const StringList& runnable = Tools4Ostrakel::architectureNames();
  bool usable = false;
  for (const auto& entry : wrapping.programs)
    usable = usable || std::find(runnable.begin(), runnable.end(), entry.first) != runnable.end();
  if (!usable)
    std::cerr << "ostrakel: note: this machine runs none of its binary sets, so it is not listed here.\n";
  else if (inDistributionsFolder(wrapping.bundlePath))
    std::cout << "Make it the active one with: ostrakel use " << quoted(name) << "\n";
  return kSuccess;
}

int runRemove(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("remove", arguments, {}, {}, 1, 1);
  const std::string bundle = bundleToRemove(parsed.operands[0]);
  const std::string name = quoted(path::deleteExtension(path::lastComponent(bundle)));
  if (!isWrappedDistribution(bundle))
    throw WorkFailed{"The distribution " + name + " (" + printable(bundle) +
                     ") was not made by \"ostrakel add\", so ostrakel leaves it alone; remove it with the tool "
                     "that installed it."};
  if (isActiveDistribution(bundle))
    throw WorkFailed{"The distribution " + name +
                     " is the active one; make another one active first (\"ostrakel use NAME\") or run "
                     "\"ostrakel reset\"."};
  const std::string doing = "remove " + name;
  if (inDistributionsFolder(bundle)) {
    askService(requestnames::kRemoveDistribution, {PlistValue::string(FileURL{bundle}.absoluteString())}, doing,
               "remove_distribution");
  } else {
    ErrorRef error;
    if (!removeWrappedDistribution(bundle, &error))
      throw WorkFailed{"Could not " + doing + ": " + reasonOf(error) + ".", errorDetails(error)};
  }
  std::cout << "Removed " << name << "; the installation it linked to stays.\n";
  return kSuccess;
}

}  // namespace ostrakel::cli
