#include "Client/ostrakel/Service.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Client/TextAgent.h"
#include "Protocol/HelperRequests.h"
#include "platform/Authorization.h"
#include "platform/RemoteClient.h"
#include "platform/RemoteListener.h"
#include "platform/SystemRoot.h"

namespace ostrakel::cli {

namespace {

// The first error of `domain` in the chain, or none.
ErrorRef find(const ErrorRef& error, const std::string& domain) {
  for (ErrorRef current = error; current; current = current->userInfo.underlying)
    if (current->domain == domain) return current;
  return nullptr;
}

ErrorRef deepest(const ErrorRef& error) {
  ErrorRef current = error;
  while (current && current->userInfo.underlying) current = current->userInfo.underlying;
  return current;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string polkitUnreachable() {
  return "polkitd, which decides who may do this, cannot be reached: start it (\"systemctl start "
         "polkit\") and make sure the system bus runs, then try again.";
}

// The service's unit, policy file and so on: its name and a suffix.
std::string serviceFile(const char* suffix) { return std::string(kServiceName) + suffix; }

// Why polkit could not answer, from the error the service passed on.
std::string unobtainable(const ErrorRef& status, const std::string& action) {
  ErrorRef cause = status ? status->userInfo.underlying : nullptr;
  const std::string name = cause ? cause->domain : "";
  const std::string text = cause ? cause->userInfo.localizedDescription.value_or("") : "";
  if (contains(text, "not registered") || contains(name, "PolicyKit1.Error"))
    return "polkit does not know the right " + rightNameForAction(action) +
           ", so the policy of the Ostrakel service is not installed: reinstall the package (it puts " +
           serviceFile(".policy") + " into /usr/share/polkit-1/actions), then try again.";
  if (cause) return polkitUnreachable();
  return "the service could not ask polkit for permission: make sure polkitd runs (\"systemctl start "
         "polkit\") and that the policy " +
         serviceFile(".policy") + " is installed in /usr/share/polkit-1/actions.";
}

std::string explain(const ErrorRef& error, const std::string& doing, const std::string& action) {
  if (ErrorRef status = find(error, kNSCocoaErrorDomain)) {
    switch (status->code) {
      case authorization::kInteractionNotAllowed:
        return "Could not " + doing +
               ": this needs an administrator's password, and nothing could ask for it: run it from a "
               "terminal, or start a polkit authentication agent in your session, or run it as root.";
      case authorization::kCanceled:
        return "Did not " + doing + ": the password prompt was dismissed. Nothing was changed.";
      case authorization::kDenied:
        return "Could not " + doing + ": polkit refused you the right " + rightNameForAction(action) +
               "; ask an administrator to run it or to grant you that right.";
      case authorization::kInternal:
        return "Could not " + doing + ": " + unobtainable(status, action);
      case authorization::kInvalidRef:
        return "Could not " + doing +
               ": the service could not verify who is asking; run ostrakel directly (not through another "
               "program that exits meanwhile) and try again.";
      default:
        break;
    }
  }
  if (find(error, kNSOSStatusErrorDomain))
    return "Could not " + doing +
           ": this process could not describe itself for authorization; run it as root, or from a normal "
           "login session.";
  ErrorRef cause = deepest(error);
  std::string reason = cause && cause->userInfo.localizedDescription ? *cause->userInfo.localizedDescription
                                                                     : std::string("unknown error");
  if (cause && cause->domain == kNSPOSIXErrorDomain && (cause->code == EACCES || cause->code == EPERM))
    return "Could not " + doing + ": " + reason + "; run it as root or as a user who may change the TeX folders.";
  return "Could not " + doing + ": " + reason + ".";
}

}  // namespace

std::vector<std::string> errorDetails(const ErrorRef& error) {
  std::vector<std::string> lines;
  const char* label = "error";
  for (ErrorRef current = error; current; current = current->userInfo.underlying) {
    lines.push_back(std::string(label) + ": " + current->domain + " " + std::to_string(current->code) + " " +
                    printable(current->userInfo.localizedDescription.value_or("")));
    label = "underlying";
  }
  return lines;
}

ServiceAnswer askService(const std::string& request, PlistArray arguments, const std::string& doing,
                         const std::string& action) {
  const std::string socketPath = Listener::socketPathForService(kServiceName);
  const std::string hostPath = systemroot::toHost(socketPath);
  std::string why;
  int fd = remote::connectToSocket(hostPath, why);
  if (fd < 0) {
    const int reason = errno;
    std::string sentence =
        reason == ENOENT || reason == ECONNREFUSED
            ? "Could not " + doing + ": the Ostrakel service is not running (nothing listens on " + socketPath +
                  "); start it with \"systemctl enable --now " + serviceFile(".socket") +
                  "\" as root, then try again."
            : "Could not " + doing + ": the Ostrakel service cannot be reached at " + socketPath + " (" +
                  std::strerror(reason) + "); check \"systemctl status " + serviceFile(".socket") + "\".";
    throw WorkFailed{sentence, {why}};
  }
  remote::Request call;
  call.id = 1;
  call.name = request;
  call.arguments = std::move(arguments);
  std::optional<std::string> form = authorization::makeExternalForm();
  call.arguments.push_back(form ? PlistValue::data(*form) : nullptr);

  std::unique_ptr<client::TextAgent> agent;
  if (::isatty(STDIN_FILENO) && form && ::geteuid() != 0) agent = std::make_unique<client::TextAgent>();
  std::optional<remote::Reply> reply = remote::ask(fd, call, why);
  agent.reset();
  ::close(fd);
  if (!reply)
    throw WorkFailed{"Could not " + doing +
                         ": the Ostrakel service ended the conversation without an answer; see its log "
                         "(\"journalctl -u " + serviceFile("") + "\") and try again.",
                     {why}};
  if (reply->error) {
    std::vector<std::string> details{"reply: " + printable(reply->message)};
    for (std::string& line : errorDetails(reply->error)) details.push_back(std::move(line));
    throw WorkFailed{explain(reply->error, doing, action), details};
  }
  ServiceAnswer answer;
  answer.message = reply->message;
  answer.skipped = reply->message.size() >= 9 && reply->message.compare(reply->message.size() - 9, 9, ": skipped") == 0;
  return answer;
}

}  // namespace ostrakel::cli
