// Turns a request dictionary into a call of the remote interface, refusing
// unknown requests and arguments of the wrong kind.
#include <functional>
#include <map>

#include "Helper/HelperProtocol4Ostrakel.h"
#include "platform/Format.h"

namespace ostrakel {

namespace {

enum class Kind { authorization, dictionary, string, optionalString, url };

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::authorization: return "authorization data";
    case Kind::dictionary: return "a dictionary";
    case Kind::string: return "a string";
    case Kind::optionalString: return "a string or nothing";
    case Kind::url: return "a file URL string";
  }
  return "?";
}

// One decoded argument; which member is used depends on its kind.
struct Argument {
  AuthorizationData data;
  PlistRef dictionary;
  std::optional<std::string> string;
  std::optional<FileURL> url;
};
using Arguments = std::vector<Argument>;
using Call = std::function<void(Helper4Ostrakel&, const Arguments&, ReplyBlock)>;

struct Signature {
  std::vector<Kind> kinds;
  Call call;
};

const std::map<std::string, Signature>& signatures() {
  using namespace requestnames;
  static const std::map<std::string, Signature> table = {
      {kGetVersion,
       {{Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.getVersionWithAuthorization(a[0].data, r); }}},
      {kReset,
       {{Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.resetWithAuthorization(a[0].data, r); }}},
      {kFixBridges,
       {{Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.fixBridgesWithAuthorization(a[0].data, r); }}},
      {kFixContext,
       {{Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.fixContextWithAuthorization(a[0].data, r); }}},
      {kCopyLaunchdInformation,
       {{Kind::dictionary, Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) {
          h.copyLaunchdInformation(a[0].dictionary, a[1].data, r);
        }}},
      {kFixVelmarmgr,
       {{Kind::string, Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.fix_velmarmgr_ForName(*a[0].string, a[1].data, r); }}},
      {kActivateBridge,
       {{Kind::url, Kind::optionalString, Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) {
          h.activateBridgeAtURL(a[0].url, a[1].string, a[2].data, r);
        }}},
      {kAddDistribution,
       {{Kind::dictionary, Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) { h.addDistribution(a[0].dictionary, a[1].data, r); }}},
      {kRemoveDistribution,
       {{Kind::url, Kind::authorization},
        [](Helper4Ostrakel& h, const Arguments& a, ReplyBlock r) {
          h.removeDistributionAtURL(a[0].url, a[1].data, r);
        }}},
  };
  return table;
}

// Fills `argument` from `value`; an absent value is allowed where the
// interface can carry "none" (authorization data, the dictionary, the URL, an
// activation's architecture, which then falls back to the bundle's default).
bool decodeArgument(Kind kind, const PlistRef& value, Argument& argument) {
  if (!value) return kind != Kind::string;
  switch (kind) {
    case Kind::authorization:
      if (!value->asData()) return false;
      argument.data = value->asData()->bytes;
      return true;
    case Kind::dictionary:
      if (!value->asDictionary()) return false;
      argument.dictionary = value;
      return true;
    case Kind::string:
    case Kind::optionalString:
      if (!value->asString()) return false;
      argument.string = *value->asString();
      return true;
    case Kind::url:
      if (!value->asString()) return false;
      argument.url = FileURL::fromString(*value->asString());
      return argument.url.has_value();
  }
  return false;
}

}  // namespace

bool HelperProtocol4Ostrakel::deliverRequest(const remote::Request& request, RemoteReplyBlock reply,
                                             std::string& why) {
  auto found = signatures().find(request.name);
  if (found == signatures().end()) {
    why = "unknown request";
    return false;
  }
  const Signature& signature = found->second;
  if (request.arguments.size() != signature.kinds.size()) {
    why = formatString("expected %lu arguments, got %lu", {signature.kinds.size(), request.arguments.size()});
    return false;
  }
  Arguments arguments(signature.kinds.size());
  for (size_t i = 0; i < signature.kinds.size(); ++i) {
    if (!decodeArgument(signature.kinds[i], request.arguments[i], arguments[i])) {
      why = formatString("argument %lu is not %s", {i, kindName(signature.kinds[i])});
      return false;
    }
  }
  signature.call(*helper_, arguments, std::move(reply));
  return true;
}

}  // namespace ostrakel
