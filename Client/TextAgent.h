// polkit's text agent for this client's own process, so that a person at
// the terminal can authenticate where they typed the command.
#pragma once

#include <sys/types.h>

namespace ostrakel::client {

class TextAgent {
public:
  // Starts pkttyagent for this process and waits (briefly) until it has
  // registered; does nothing when the agent cannot be started.
  TextAgent();
  ~TextAgent();  // stops the agent
  TextAgent(const TextAgent&) = delete;
  TextAgent& operator=(const TextAgent&) = delete;

private:
  pid_t pid_ = -1;
};

}  // namespace ostrakel::client
