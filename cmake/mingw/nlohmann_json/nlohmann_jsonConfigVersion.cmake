# The version is that of the headers the config file exposes.
include(/usr/share/cmake/nlohmann_json/nlohmann_jsonConfigVersion.cmake)
