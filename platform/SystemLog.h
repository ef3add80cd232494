// The system log: one datagram per message to the root's /dev/log, in the
// classic form "<PRI>Mmm dd hh:mm:ss IDENT[PID]: TEXT" with facility daemon.
// Messages are dropped silently when nothing listens. Safe from any thread.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Format.h"

#include "platform/UniqueFd.h"

namespace ostrakel::systemlog {

class Client {
public:
  explicit Client(std::string ident);
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  void send(int level, const std::string& text);
  const std::string& ident() const { return ident_; }

private:
  std::string ident_;
  UniqueFd socket_;
};

// A message through the default client (the process name as ident).
void sendDefault(int level, const std::string& text);

// What the platform itself has to say for the service (the listener and its
// connections) goes where the service's other messages go: its logger points
// this sink at itself when it starts. Until then, messages go through the
// default client.
using ServiceSink = void (*)(int level, const std::string& text);
void setServiceSink(ServiceSink sink);
void serviceLog(int level, const std::string& text);
// `format` filled in with the control characters of every inserted text
// escaped: what is filled in may come from a peer.
void serviceLog(int level, std::string_view format, std::initializer_list<FmtArg> args);

// A diagnostic line on standard error, "YYYY-MM-DD hh:mm:ss.mmm NAME[PID:TID] TEXT",
// with a copy in the system log (level 4, the process name as ident).
void diagnosticLog(const std::string& text);

}  // namespace ostrakel::systemlog
