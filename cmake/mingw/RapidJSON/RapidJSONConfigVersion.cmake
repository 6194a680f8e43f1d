# The version is that of the headers the config file exposes.
include(/usr/share/cmake/RapidJSON/RapidJSONConfigVersion.cmake)
