// The rights check: polkit's CheckAuthorization on the system bus for the
// requesting process, with user interaction allowed.

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/Authorization.h"
#include "platform/SystemdBus.h"

namespace ostrakel::authorization {

namespace {

// How long an interactive check may wait for its user.
constexpr uint64_t kCheckTimeoutMicroseconds = 5ull * 60 * 1000 * 1000;
constexpr uint32_t kAllowUserInteraction = 1;

std::mutex gCheckerMutex;
RightsChecker gChecker;

void describe(Failure* failure, std::string name, int errorNumber, std::string text) {
  if (failure) *failure = {std::move(name), errorNumber, std::move(text)};
}

int32_t askPolkit(const Reference& reference, const std::string& rightName, const std::string& prompt,
                  const std::string& textDomain, Failure* failure) {
  const systemdbus::Functions* sd = systemdbus::functions();
  if (!sd) {
    describe(failure, "NSPOSIXErrorDomain", ENOENT, "the system bus library cannot be loaded");
    return kInternal;
  }
  sd_bus* bus = nullptr;
  if (int r = sd->open_system(&bus); r < 0) {
    describe(failure, "NSPOSIXErrorDomain", -r,
             std::string("cannot connect to the system bus: ") + std::strerror(-r));
    return kInternal;
  }
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int32_t status = kInternal;
  int r = sd->message_new_method_call(bus, &call, "org.freedesktop.PolicyKit1",
                                         "/org/freedesktop/PolicyKit1/Authority",
                                         "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
  if (r >= 0)
    r = sd->message_append(call, "(sa{sv})", "unix-process", 3, "pid", "u",
                              static_cast<uint32_t>(reference.pid), "start-time", "t", reference.startTime,
                              "uid", "i", static_cast<int32_t>(reference.uid));
  if (r >= 0)
    r = sd->message_append(call, "sa{ss}us", rightName.c_str(), 2, "polkit.message", prompt.c_str(),
                           "polkit.gettext_domain", textDomain.c_str(), kAllowUserInteraction, "");
  if (r >= 0) r = sd->call(bus, call, kCheckTimeoutMicroseconds, &error, &reply);
  if (r < 0) {
    if (sd->error_has_name(&error, "org.freedesktop.PolicyKit1.Error.Cancelled"))
      status = kCanceled;
    else
      describe(failure, error.name ? error.name : "NSPOSIXErrorDomain", -r,
               error.message ? error.message : std::strerror(-r));
  } else {
    int authorized = 0, challenge = 0;
    bool dismissed = false;
    r = sd->message_enter_container(reply, 'r', "bba{ss}");
    if (r >= 0) r = sd->message_read(reply, "bb", &authorized, &challenge);
    if (r >= 0) r = sd->message_enter_container(reply, 'a', "{ss}");
    while (r > 0) {
      const char* key = nullptr;
      const char* value = nullptr;
      r = sd->message_read(reply, "{ss}", &key, &value);
      if (r > 0 && std::strcmp(key, "polkit.dismissed") == 0) dismissed = true;
    }
    if (r >= 0) {
      if (authorized)
        status = kSuccess;
      else if (dismissed)
        status = kCanceled;
      else if (challenge)
        status = kInteractionNotAllowed;  // interaction was allowed, yet no agent could ask
      else
        status = kDenied;
    }
  }
  sd->error_free(&error);
  sd->message_unref(reply);
  sd->message_unref(call);
  sd->flush_close_unref(bus);
  return status;
}

}  // namespace

void setRightsCheckerForTesting(RightsChecker checker) {
  std::lock_guard<std::mutex> lock(gCheckerMutex);
  gChecker = std::move(checker);
}

int32_t copyRights(const Reference& reference, const std::string& rightName, const std::string& prompt,
                   const std::string& textDomain, Failure* failure) {
  RightsChecker checker;
  {
    std::lock_guard<std::mutex> lock(gCheckerMutex);
    checker = gChecker;
  }
  if (checker) return checker(reference, rightName, prompt);
  return askPolkit(reference, rightName, prompt, textDomain, failure);
}

}  // namespace ostrakel::authorization
