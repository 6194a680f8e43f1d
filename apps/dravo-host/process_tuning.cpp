#include <dravo-host/process_tuning.h>

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#  include <malloc.h>
#endif
#if defined(__linux__)
#  include <fcntl.h>
#  include <sys/socket.h>
#  include <unistd.h>
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

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace dravo::host
