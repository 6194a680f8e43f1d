# nlohmann_json for the cross-build. The library is header-only, so the
# build machine's copy serves, but its own package file points the compiler at
# all of /usr/include, where the Linux C library headers would shadow the
# target's. Expose just the nlohmann/ folder through a one-entry include dir.
set(_dravo_json_headers /usr/include/nlohmann)
if(NOT EXISTS ${_dravo_json_headers}/json.hpp)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "${_dravo_json_headers}/json.hpp not found")
  return()
endif()
set(_dravo_json_include ${CMAKE_BINARY_DIR}/cross-include/nlohmann_json)
if(NOT EXISTS ${_dravo_json_include}/nlohmann)
  file(MAKE_DIRECTORY ${_dravo_json_include})
  file(CREATE_LINK ${_dravo_json_headers} ${_dravo_json_include}/nlohmann SYMBOLIC)
endif()
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_dravo_json_include})
endif()
