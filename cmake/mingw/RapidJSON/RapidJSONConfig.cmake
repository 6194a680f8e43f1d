# RapidJSON for the cross-build. The library is header-only, so the build
# machine's copy serves, but its own package file points the compiler at all
# of /usr/include, where the Linux C library headers would shadow the
# target's. Expose just the rapidjson/ folder through a one-entry include dir.
set(_dravo_json_headers /usr/include/rapidjson)
if(NOT EXISTS ${_dravo_json_headers}/reader.h)
  set(RapidJSON_FOUND FALSE)
  set(RapidJSON_NOT_FOUND_MESSAGE "${_dravo_json_headers}/reader.h not found")
  return()
endif()
set(_dravo_json_include ${CMAKE_BINARY_DIR}/cross-include/rapidjson)
if(NOT EXISTS ${_dravo_json_include}/rapidjson)
  file(MAKE_DIRECTORY ${_dravo_json_include})
  file(CREATE_LINK ${_dravo_json_headers} ${_dravo_json_include}/rapidjson SYMBOLIC)
endif()
if(NOT TARGET RapidJSON::RapidJSON)
  add_library(RapidJSON::RapidJSON INTERFACE IMPORTED)
  set_target_properties(RapidJSON::RapidJSON PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_dravo_json_include})
endif()
