#include "platform/Error.h"

#include <cstring>

#include "platform/Format.h"

namespace ostrakel {

std::string Error::description() const {
  std::string message = userInfo.localizedDescription ? *userInfo.localizedDescription
                                                      : std::string(kNullPlaceholder);
  std::string out = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
                    message + "\" UserInfo={";
  std::vector<std::string> entries;
  if (userInfo.localizedDescription)
    entries.push_back("NSLocalizedDescription=" + *userInfo.localizedDescription);
  if (userInfo.url) entries.push_back("NSURL=" + *userInfo.url);
  if (userInfo.underlying)
    entries.push_back(formatString("NSUnderlyingError=%#x {%@}",
                                   {identityOf(userInfo.underlying.get()),
                                    userInfo.underlying->description()}));
  for (const auto& [key, value] : userInfo.extra) entries.push_back(key + "=" + value);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out += ", ";
    out += entries[i];
  }
  out += "}";
  return out;
}

ErrorRef makeError(std::string domain, int64_t code, UserInfo info) {
  auto error = std::make_shared<Error>();
  error->domain = std::move(domain);
  error->code = code;
  error->userInfo = std::move(info);
  return error;
}

void storeFirstError(ErrorSlot slot, const ErrorRef& error) {
  if (slot && !*slot) *slot = error;
}

void overwriteError(ErrorSlot slot, const ErrorRef& error) {
  if (slot) *slot = error;
}

ErrorRef posixError(int errorNumber, const std::string& path) {
  UserInfo info;
  info.localizedDescription = std::strerror(errorNumber);
  if (!path.empty()) info.extra.emplace_back("NSFilePath", path);
  return makeError(kNSPOSIXErrorDomain, errorNumber, std::move(info));
}

}  // namespace ostrakel
