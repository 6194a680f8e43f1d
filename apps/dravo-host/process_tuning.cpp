#include <dravo-host/process_tuning.h>

#include <algorithm>
#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#  include <malloc.h>
#endif
#if defined(__linux__)
#  include <fcntl.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif
#if defined(_WIN32)
#  include <windows.h>
#else
#  include <poll.h>
#endif

namespace dravo::host {

void LimitAllocatorArenas() {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 2);
#endif
}

void WidenOutputBuffer() {
#if defined(__linux__)
  // Each fails harmlessly when stdout is of the other kind; the system caps
  // the size at its own limit.
  constexpr int kBytes = 1024 * 1024;
  fcntl(STDOUT_FILENO, F_SETPIPE_SZ, kBytes);
  setsockopt(STDOUT_FILENO, SOL_SOCKET, SO_SNDBUF, &kBytes, sizeof kBytes);
#endif
}

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `timeout` without spinning; zero only looks.
bool StdinHasBytes(std::chrono::milliseconds timeout) {
#if defined(_WIN32)
  const auto until = Clock::now() + timeout;
  for (;;) {
    DWORD available = 0;
    // Fails for a console or a file, which are never waited for here.
    if (!PeekNamedPipe(GetStdHandle(STD_INPUT_HANDLE), nullptr, 0, nullptr, &available, nullptr) ||
        available > 0)
      return true;
    if (Clock::now() >= until) return false;
    Sleep(1);  // a pipe offers nothing to block on until it has bytes
  }
#else
  pollfd in{0, POLLIN, 0};
  return poll(&in, 1, int(timeout.count())) != 0;  // an error or a hang-up ends the wait too
#endif
}

}  // namespace

bool AwaitStdin(std::chrono::microseconds spin, std::chrono::milliseconds limit) {
  const auto start = Clock::now();
  while (Clock::now() - start < spin)
    if (StdinHasBytes({})) return true;
  const auto left =
      limit - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return StdinHasBytes(std::max(left, std::chrono::milliseconds(0)));
}

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace dravo::host
