// The requests of the remote interface.
#include "Helper/Helper4Ostrakel.h"
#include "Library/Bridge/DistributionWrapping.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "platform/Format.h"
#include "platform/MainQueue.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"
#include "platform/RemoteListener.h"

namespace ostrakel {

void Helper4Ostrakel::getVersionWithAuthorization(const AuthorizationData&, ReplyBlock reply) {
  auto answer = [reply] {
    const std::vector<std::string>& arguments = processinfo::arguments();
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
      if (arguments[i] == "--version") {
        Logger4Ostrakel::logWithLevel(6, "Version: %@", {arguments[i + 1]});
        reply(arguments[i + 1], nullptr);
        return;
      }
    }
    Logger4Ostrakel::logWithLevel(6, std::string("Version: None"));
    reply("0", nullptr);
  };
  // A retry of this connection may be waiting on the main queue: the version
  // then takes its turn behind it, so a client that asks for the version after
  // such a request gets the two answers (and the log its lines) in the order
  // it asked. With nothing of the connection unanswered there is nothing to
  // overtake, and the answer is given at once, sparing two thread hand-offs.
  if (Connection::deliveringOnlyUnanswered())
    answer();
  else
    mainqueue::post(std::move(answer));
}

void Helper4Ostrakel::resetWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "reset", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::resetOrReturnError(slot); },
      [] { return Tools4Ostrakel::isResetOK(); }, std::move(reply));
}

void Helper4Ostrakel::fixBridgesWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "fix_bridges", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::fixBridgesOrReturnError(slot); },
      [] { return Tools4Ostrakel::areBridgesOK(); }, std::move(reply));
}

void Helper4Ostrakel::fixContextWithAuthorization(const AuthorizationData& authorization, ReplyBlock reply) {
  executeActionWithName(
      "fix_context", authorization, [](ErrorSlot slot) { return Tools4Ostrakel::fixContextOrReturnError(slot); },
      [] { return Tools4Ostrakel::isContextOK(); }, std::move(reply));
}

void Helper4Ostrakel::copyLaunchdInformation(const PlistRef& dictionary, const AuthorizationData& authorization,
                                             ReplyBlock reply) {
  // Never skipped: the job description is written on every request.
  executeActionWithName(
      "copy_launchd_information", authorization,
      [dictionary](ErrorSlot slot) { return Tools4Ostrakel::copyLaunchdInformation(dictionary, slot); },
      [] { return false; }, std::move(reply));
}

void Helper4Ostrakel::fix_velmarmgr_ForName(const std::string& name, const AuthorizationData& authorization,
                                            ReplyBlock reply) {
  executeActionWithName(
      "create_velmarmgr", authorization,
      [name](ErrorSlot slot) { return Tools4Ostrakel::fix_velmarmgr_ForName(name, slot); },
      [name] { return Tools4Ostrakel::is_velmarmgr_OKForName(name); }, std::move(reply), name);
}

void Helper4Ostrakel::activateBridgeAtURL(const std::optional<FileURL>& url, const std::optional<std::string>& source,
                                          const AuthorizationData& authorization, ReplyBlock reply) {
  // A URL-less activation settles on one bundle before anybody is asked, and
  // the retry after a granted check activates that same bundle: what the
  // administrator approved is what changes.
  auto chosen = std::make_shared<std::optional<FileURL>>(url);
  auto activate = [chosen, source](ErrorSlot slot) {
    if (*chosen) return Tools4Ostrakel::activateBridgeAtURL(*chosen, source, slot);
    BridgeRef newest = Tools4Ostrakel::bridgeForActivation(source, slot);
    if (!newest) return false;
    *chosen = newest->fileURL();
    return Tools4Ostrakel::activateBridge(newest, source, slot);
  };
  auto details = [chosen, source] {
    if (!*chosen) {
      if (BridgeRef newest = Tools4Ostrakel::bridgeForActivation(source, nullptr)) *chosen = newest->fileURL();
    }
    const std::string binaries = source.value_or("the default set");
    if (!*chosen) return formatString("No distribution has the binaries %@.", {binaries});
    return formatString("Distribution: %@; binaries: %@.", {(*chosen)->path, binaries});
  };
  executeActionWithName(
      "activate_distribution", authorization, activate,
      [url, source] { return Tools4Ostrakel::isActiveBridgeAtURL(url, source); }, std::move(reply),
      (url ? url->path : std::string("(no URL)")) + " " + source.value_or("(default binary set)"), details);
}

namespace {

// The bundle must stand directly in the distributions folder of the root volume.
bool inDistributionsFolder(const std::optional<FileURL>& url) {
  return url && path::deleteLastComponent(path::standardize(url->path)) == path::standardize(Tools4Ostrakel::LTD_Path()) &&
         isPlainFileName(path::lastComponent(url->path));
}

// A wrapping as the client described it, or none when the description is
// not a dictionary of file URLs. The bundle must stand directly in the
// distributions folder; the rest is checked where the bundle is made.
std::optional<DistributionWrapping> decodeWrapping(const PlistRef& description) {
  using namespace distributionkeys;
  auto pathOf = [](const PlistRef& value) -> std::optional<std::string> {
    if (!value || !value->asString()) return std::nullopt;
    std::optional<FileURL> url = FileURL::fromString(*value->asString());
    if (!url) return std::nullopt;
    return url->path;
  };
  if (!description || !description->asDictionary()) return std::nullopt;
  std::optional<std::string> bundle = pathOf(description->get(kBundle));
  std::optional<std::string> installation = pathOf(description->get(kInstallation));
  const PlistRef programs = description->get(kPrograms);
  if (!bundle || !inDistributionsFolder(FileURL{*bundle}) || !installation || !programs || !programs->asArray())
    return std::nullopt;
  DistributionWrapping wrapping;
  wrapping.bundlePath = path::standardize(*bundle);
  wrapping.installation = *installation;
  // An array of [set, folder URL] pairs keeps the client's order of preference.
  for (const PlistRef& pair : *programs->asArray()) {
    const PlistArray* items = pair ? pair->asArray() : nullptr;
    if (!items || items->size() != 2 || !(*items)[0] || !(*items)[0]->asString()) return std::nullopt;
    std::optional<std::string> folder = pathOf((*items)[1]);
    if (!folder) return std::nullopt;
    wrapping.programs.emplace_back(*(*items)[0]->asString(), *folder);
  }
  return wrapping;
}


}  // namespace

void Helper4Ostrakel::addDistribution(const PlistRef& description, const AuthorizationData& authorization,
                                      ReplyBlock reply) {
  std::optional<DistributionWrapping> wrapping = decodeWrapping(description);
  executeActionWithName(
      "add_distribution", authorization,
      [wrapping](ErrorSlot slot) {
        if (wrapping) return addWrappedDistribution(*wrapping, slot);
        storeFirstError(slot, errorWithCode(kOstrakelErrorDomain, errorcode::kAddDistributionFailed,
                                            errorWithOstrakelCode(errorcode::kBadDistributionName)));
        return false;
      },
      [] { return false; }, std::move(reply), wrapping ? wrapping->bundlePath : std::string("(malformed)"));
}

void Helper4Ostrakel::removeDistributionAtURL(const std::optional<FileURL>& url,
                                              const AuthorizationData& authorization, ReplyBlock reply) {
  const bool allowed = inDistributionsFolder(url);
  const std::string bundle = allowed ? path::standardize(url->path) : std::string();
  executeActionWithName(
      "remove_distribution", authorization,
      [allowed, bundle](ErrorSlot slot) {
        if (allowed) return removeWrappedDistribution(bundle, slot);
        storeFirstError(slot, errorWithCode(kOstrakelErrorDomain, errorcode::kRemoveDistributionFailed,
                                            errorWithOstrakelCode(errorcode::kBadDistributionName)));
        return false;
      },
      [] { return false; }, std::move(reply), allowed ? bundle : std::string("(outside the distributions folder)"));
}

}  // namespace ostrakel
