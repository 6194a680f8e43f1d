// Builds without an HTTP library: the host serves standard input and output only.
#include <dravo-host/http_transport.h>

#include <iostream>

namespace dravo::host {

bool ServeHttp(const HttpOptions&, const ServerOptions&) {
  std::cerr << "dravo-host: this build has no HTTP transport; serve over stdio instead\n";
  return false;
}

}  // namespace dravo::host
