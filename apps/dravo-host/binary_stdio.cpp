#include <dravo-host/binary_stdio.h>

#include <cstdio>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#endif

namespace dravo::host {

void UseBinaryStdio() {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace dravo::host
