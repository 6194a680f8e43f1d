#include <dravo-host/process_tuning.h>

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#  include <malloc.h>
#endif
#if defined(__linux__)
#  include <fcntl.h>
#  include <unistd.h>
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

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace dravo::host
