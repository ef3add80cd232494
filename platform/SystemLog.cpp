#include "platform/SystemLog.h"

#include <pthread.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/ProcessInfo.h"
#include "platform/SocketAddress.h"
#include "platform/SystemRoot.h"
#include "platform/WriteAll.h"

namespace ostrakel::systemlog {

namespace {

constexpr int kFacilityDaemon = 3 << 3;
// Diagnostic lines go to the log at warning level, like other desktop
// diagnostics do.
constexpr int kDiagnosticLevel = 4;
// A datagram larger than the socket accepts is sent again with its text cut
// to this many bytes rather than lost entirely.
constexpr size_t kFallbackTextBytes = 2048;

int openSocket() {
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    // A stalled log reader must never stall the caller for long.
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  }
  return fd;
}

// "Mmm dd hh:mm:ss" in local time, English month names whatever the locale.
std::string classicTimestamp() {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t now = ::time(nullptr);
  tm local{};
  ::localtime_r(&now, &local);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon % 12],
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return buffer;
}

// The process id, asked of the kernel once, and again only in a forked child.
std::atomic<pid_t> cachedPid{0};

pid_t processId() {
  pid_t pid = cachedPid.load(std::memory_order_relaxed);
  if (pid == 0) {
    static std::once_flag registered;
    std::call_once(registered, [] { ::pthread_atfork(nullptr, nullptr, [] { cachedPid.store(0); }); });
    pid = ::getpid();
    cachedPid.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

void sendMessage(int fd, const std::string& ident, int level, const std::string& text) {
  if (fd < 0) return;
  std::string path = systemroot::toHost("/dev/log");
  sockaddr_un address;
  if (!unixSocketAddress(path, address)) return;  // no such socket can exist

  int severity = std::clamp(level, 0, 7);
  std::string header = "<" + std::to_string(kFacilityDaemon | severity) + ">" + classicTimestamp() +
                       " " + ident + "[" + std::to_string(processId()) + "]: ";
  std::string message = header + text;
  auto send = [&](const std::string& datagram) {
    ssize_t sent;
    do {
      sent = ::sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 ? 0 : errno;
  };
  // Nobody listening (ENOENT, ECONNREFUSED) or a full reader: dropped silently.
  if (send(message) == EMSGSIZE) send(header + text.substr(0, kFallbackTextBytes));
}

int defaultSocket() {
  static const int fd = openSocket();
  return fd;
}

std::atomic<ServiceSink> serviceSink{nullptr};

}  // namespace

Client::Client(std::string ident) : ident_(std::move(ident)), socket_(openSocket()) {}

void Client::send(int level, const std::string& text) { sendMessage(socket_.get(), ident_, level, text); }

void sendDefault(int level, const std::string& text) {
  sendMessage(defaultSocket(), processinfo::processName(), level, text);
}

void setServiceSink(ServiceSink sink) { serviceSink.store(sink); }

void serviceLog(int level, const std::string& text) {
  if (ServiceSink sink = serviceSink.load())
    sink(level, text);
  else
    sendDefault(level, text);
}

void serviceLog(int level, std::string_view format, std::initializer_list<FmtArg> args) {
  serviceLog(level, formatString(format, args, escapedControlCharacters));
}

void diagnosticLog(const std::string& text) {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(now.tv_usec / 1000));
  std::string line = std::string(stamp) + " " + processinfo::processName() + "[" +
                     std::to_string(::getpid()) + ":" + std::to_string(::syscall(SYS_gettid)) +
                     "] " + text + "\n";
  // One write, so lines of concurrent callers do not interleave; a failed
  // write is ignored, the line still goes to the log.
  writeAll(STDERR_FILENO, line);
  sendDefault(kDiagnosticLevel, text);
}

}  // namespace ostrakel::systemlog
