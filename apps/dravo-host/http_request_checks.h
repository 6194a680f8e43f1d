// What the HTTP transport checks before a request reaches a session: where it
// comes from, its token and what it accepts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dravo::host {

// "localhost", "127.0.0.1" or "[::1]", in any letter case.
bool IsLoopbackName(std::string_view host);
// The lower-case host name of a Host header value or of an origin, without port.
std::string HostNameOf(std::string_view hostOrOrigin);
// An http(s) origin on a loopback name, or one given exactly in `allowed`.
bool OriginAllowed(std::string_view origin, const std::vector<std::string>& allowed);
// A Host header naming loopback or the host of an allowed origin.
bool HostAllowed(std::string_view host, const std::vector<std::string>& allowedOrigins);
// Compares in time that does not depend on where the texts differ.
bool SameSecret(std::string_view given, std::string_view expected);
// Whether an Accept header allows a media type such as "application/json".
bool Accepts(std::string_view accept, std::string_view type);

}  // namespace dravo::host
