// The seam to the operating system's stop requests: Ctrl-C and SIGTERM on
// POSIX systems, console control events on Windows.
#pragma once

#include <functional>

namespace dravo::host {

// Takes stop requests from here on; call first in main, before any other
// thread starts, so that they all leave the signals to one waiter. Until
// an action is set, a stop request ends the process at once.
void WatchStopRequests();
// Runs `stop` on a thread of its own at the first stop request; a second
// request ends the process at once.
void SetStopAction(std::function<void()> stop);

}  // namespace dravo::host
