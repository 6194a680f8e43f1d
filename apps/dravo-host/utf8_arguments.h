// The program's arguments as UTF-8, whatever the platform hands over.
#pragma once

#include <string>
#include <vector>

namespace dravo::host {

// The arguments after the program name. On Windows they are read from the
// wide command line, so names outside the ANSI code page survive.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace dravo::host
