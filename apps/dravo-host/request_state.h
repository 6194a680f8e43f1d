// The requestState a client brings back with its answers to input requests:
// the provider's own state, bound to the method and the tool, prompt or
// resource it was issued for, signed with a key only this process knows and
// good for one use within a time limit.
#pragma once

#include <qarn/mcp/json_value.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace dravo::host {

using Qarn::mcp::VMCPJsonValue;

// Longest requestState accepted back.
inline constexpr std::size_t kMaxRequestStateBytes = 1u << 20;

std::string SealRequestState(std::string_view method, std::string_view target,
                             const VMCPJsonValue& state,
                             std::chrono::milliseconds lifetime = std::chrono::minutes(30));
// The provider's state, or nullopt when the text was not issued by this
// process for this method and target, has expired or was used before.
std::optional<VMCPJsonValue> OpenRequestState(std::string_view sealed, std::string_view method,
                                              std::string_view target);

}  // namespace dravo::host
