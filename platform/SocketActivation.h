// The listening socket a service manager hands over at start (LISTEN_PID and
// LISTEN_FDS in the environment, descriptors from 3 on).
#pragma once

namespace ostrakel::socketactivation {

// The first passed descriptor when it is a listening Unix stream socket meant
// for this process, else -1. The variables are removed from the environment
// so that no child takes them for its own.
int passedListeningSocket();

}  // namespace ostrakel::socketactivation
