#include "Library/Common/Logger4Ostrakel.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "Protocol/HelperRequests.h"
#include "platform/MainQueue.h"
#include "platform/StandardOutput.h"
#include "platform/SystemLog.h"

namespace ostrakel {

namespace {

// The open system-log client; absent before start and after stop, when
// messages go through the default client instead. Only start and stop change
// it, but any thread may be logging meanwhile, so readers take a reference
// under the mutex and send outside it.
//
// The desktop log also took a message template with "ReadUID" = "-1" to make
// every message readable by all users. Datagrams to /dev/log carry no
// per-message attributes and who may read them is decided by the log daemon,
// so there is nothing to set here.
std::mutex clientMutex;
std::shared_ptr<systemlog::Client> client;

std::shared_ptr<systemlog::Client> currentClient() {
  std::lock_guard lock(clientMutex);
  return client;
}

}  // namespace

void Logger4Ostrakel::start() {
  stop();
  {
    std::lock_guard lock(clientMutex);
    client = std::make_shared<systemlog::Client>(kServiceName);
  }
  // The listener's and the connections' lines go through the same client,
  // under the same threshold.
  systemlog::setServiceSink([](int level, const std::string& text) { logWithLevel(level, text); });
  logWithLevel(6, std::string("Logger started"));
  systemlog::diagnosticLog("LOGGER STARTED (NSLog)");
  // Through the buffered C stream on purpose: the text stays in the buffer
  // until the stream is flushed at normal exit, after everything written
  // directly to the descriptor.
  std::fputs("LOGGER STARTED (printf)", stdout);
}

void Logger4Ostrakel::stop() {
  std::lock_guard lock(clientMutex);
  client.reset();
}

void Logger4Ostrakel::logWithLevel(int32_t level, const std::string& text) {
  // The level is read as an unsigned 32-bit number, so negative levels count
  // as very large ones and are dropped.
  if (static_cast<int64_t>(static_cast<uint32_t>(level)) > kThreshold) return;
  if (auto open = currentClient())
    open->send(level, text);
  else
    systemlog::sendDefault(level, text);
}

void Logger4Ostrakel::logWithLevel(int32_t level, std::string_view format,
                                   std::initializer_list<FmtArg> args) {
  // What is filled in may come from a peer or a user's files: its control
  // characters are escaped so that it can never forge a line of its own.
  logWithLevel(level, formatString(format, args, escapedControlCharacters));
}

void Logger4Ostrakel::writeOutWithFormat(std::string_view format, std::initializer_list<FmtArg> args) {
  standardoutput::write(formatString(format, args));
}

void Logger4Ostrakel::logError(const ErrorRef& error) {
  if (!error) {
    logWithLevel(3, "error %@ / %d / %@\n", {nullptr, 0, nullptr});
    return;
  }
  logWithLevel(3, "error %@ / %d / %@\n",
               {error->domain, error->code, error->userInfo.localizedDescription});
}

void Logger4Ostrakel::reportError(const ErrorRef& error) {
  mainqueue::post([error] {
    if (!error) {
      logWithLevel(3, "Helper error %@ / %d / %@ /%@\n", {nullptr, 0, nullptr, ""});
      return;
    }
    const ErrorRef& underlying = error->userInfo.underlying;
    logWithLevel(3, "Helper error %@ / %d / %@ /%@\n",
                 {error->domain, error->code, error->userInfo.localizedDescription,
                  underlying ? underlying->description() : std::string()});
  });
}

}  // namespace ostrakel
