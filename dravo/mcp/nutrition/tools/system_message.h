// The operating system's own text for an error code.
#pragma once

#include <string>
#include <system_error>

namespace dravo::nutrition {

// The message as the system words it, in UTF-8. On Windows that is the
// system's message table with only the line break removed (the C++ runtime's
// message() may shorten it); elsewhere it is error.message().
std::string SystemMessage(const std::error_code& error);

}  // namespace dravo::nutrition
