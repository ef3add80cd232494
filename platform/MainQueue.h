// The main operation queue, served by the main thread's event loop: jobs run
// one at a time in the order they were queued.
#pragma once

#include <functional>

namespace ostrakel::mainqueue {

void post(std::function<void()> job);
// Runs the loop on the calling (main) thread; never returns.
[[noreturn]] void runForever();
// For tests: runs the jobs queued so far (and those they queue) and returns.
void drain();

}  // namespace ostrakel::mainqueue
