// The error type: a domain, a 64-bit code and user information. Operations that
// can fail take an optional error slot (ErrorSlot, may be nullptr); by default
// they store an error only into a given slot that is still empty.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrakel {

inline constexpr const char* kOstrakelErrorDomain = "OstrakelErrorDomain";
inline constexpr const char* kNSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* kNSOSStatusErrorDomain = "NSOSStatusErrorDomain";
inline constexpr const char* kNSPOSIXErrorDomain = "NSPOSIXErrorDomain";

struct Error;
using ErrorRef = std::shared_ptr<const Error>;
// A caller-supplied place for one error; nullptr when the caller wants none.
using ErrorSlot = ErrorRef*;

struct UserInfo {
  std::optional<std::string> localizedDescription;  // NSLocalizedDescription
  std::optional<std::string> url;                   // NSURL, as a URL string
  ErrorRef underlying;                              // NSUnderlyingError
  // Further platform entries (for example NSFilePath), printed after the rest.
  std::vector<std::pair<std::string, std::string>> extra;
};

struct Error {
  std::string domain;
  int64_t code = 0;
  UserInfo userInfo;

  // `Error Domain=D Code=N "MESSAGE" UserInfo={...}`
  std::string description() const;
};

ErrorRef makeError(std::string domain, int64_t code, UserInfo info);

// First error wins: stores `error` only when `slot` is given and still empty.
void storeFirstError(ErrorSlot slot, const ErrorRef& error);
// Stores `error` into a given slot, replacing what it held.
void overwriteError(ErrorSlot slot, const ErrorRef& error);
// The slot to hand on to a call: `slot` while it is still empty, else none.
inline ErrorSlot slotIfEmpty(ErrorRef* slot) { return slot && !*slot ? slot : nullptr; }

// An error from a failed system call: NSPOSIXErrorDomain with errno and the C
// library's message; `path` (when not empty) goes under NSFilePath.
ErrorRef posixError(int errorNumber, const std::string& path = {});

}  // namespace ostrakel
