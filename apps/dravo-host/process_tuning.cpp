#include <dravo-host/process_tuning.h>

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#  include <malloc.h>
#endif
#if defined(__linux__)
#  include <fcntl.h>
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

void WidenOutputPipe() {
#if defined(__linux__)
  // Fails harmlessly when stdout is no pipe or the size is above the limit.
  fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1024 * 1024);
#endif
}

namespace {

bool StdinHasBytes() {
#if defined(_WIN32)
  DWORD available = 0;
  // Fails for a console or a file, which are never waited for here.
  return !PeekNamedPipe(GetStdHandle(STD_INPUT_HANDLE), nullptr, 0, nullptr, &available, nullptr) ||
         available > 0;
#else
  pollfd in{0, POLLIN, 0};
  return poll(&in, 1, 0) != 0;  // an error or a hang-up ends the wait too
#endif
}

}  // namespace

void AwaitStdinBriefly(std::chrono::microseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!StdinHasBytes() && std::chrono::steady_clock::now() < until) {
  }
}

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace dravo::host
