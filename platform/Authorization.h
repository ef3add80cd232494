// The authorization service on Linux: a 32-byte external form that names the
// requesting process, and a rights check through polkit over the system bus.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ostrakel::authorization {

inline constexpr size_t kExternalFormLength = 32;

// Statuses, as the client-side authorization interfaces know them.
inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t kInvalidSet = -60001;
inline constexpr int32_t kInvalidRef = -60002;
inline constexpr int32_t kInvalidTag = -60003;
inline constexpr int32_t kInvalidPointer = -60004;
inline constexpr int32_t kDenied = -60005;
inline constexpr int32_t kCanceled = -60006;
inline constexpr int32_t kInteractionNotAllowed = -60007;
inline constexpr int32_t kInternal = -60008;
inline constexpr int32_t kExternalizeNotAllowed = -60009;
inline constexpr int32_t kInternalizeNotAllowed = -60010;
inline constexpr int32_t kInvalidFlags = -60011;
inline constexpr int32_t kToolExecuteFailure = -60031;
inline constexpr int32_t kToolEnvironmentError = -60032;
inline constexpr int32_t kBadAddress = -60033;

// The process an external form stands for.
struct Reference {
  pid_t pid = 0;
  uid_t uid = 0;
  uint64_t startTime = 0;  // clock ticks after boot, /proc/PID/stat field 22
};

// The start time of a running process; none when it does not exist.
std::optional<uint64_t> processStartTime(pid_t pid);

// The external form of `reference`, and the one of the calling process.
std::string externalForm(const Reference& reference);
std::optional<std::string> makeExternalForm();
// The layout alone: magic, fields, reserved bytes; no check of the process.
std::optional<Reference> parseExternalForm(const std::string& bytes);

// Turns an external form back into a reference. It holds only when it names
// exactly the peer identity captured when the connection of the request the
// calling thread serves was accepted (remote::currentPeer(): pid, uid, start
// time) and that process is still alive; otherwise kInvalidRef. The reference
// is that captured identity.
int32_t createFromExternalForm(const std::string& bytes, std::shared_ptr<Reference>& reference);

// Why the authority could not be asked or refused to answer: the error's
// name (a D-Bus error name, or NSPOSIXErrorDomain), a system error number
// and the authority's own text. Empty text when there is nothing to tell.
struct Failure {
  std::string name;
  int64_t code = 0;
  std::string text;
};

// Asks whether the process of `reference` holds the right `rightName`; the
// authority may ask its user, showing `prompt` (translated in `textDomain`).
// kSuccess when granted.
int32_t copyRights(const Reference& reference, const std::string& rightName, const std::string& prompt,
                   const std::string& textDomain, Failure* failure = nullptr);

// For tests: replaces the authority's decision (an empty function restores it).
using RightsChecker =
    std::function<int32_t(const Reference& reference, const std::string& rightName, const std::string& prompt)>;
void setRightsCheckerForTesting(RightsChecker checker);

}  // namespace ostrakel::authorization
