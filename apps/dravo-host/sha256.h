// SHA-256 and HMAC-SHA-256, enough to sign what the server hands a client
// to bring back.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace dravo::host {

using Digest = std::array<std::uint8_t, 32>;

Digest Sha256(std::string_view data);
Digest HmacSha256(std::string_view key, std::string_view message);

}  // namespace dravo::host
