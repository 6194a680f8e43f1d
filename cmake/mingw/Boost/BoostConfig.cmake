# Boost's headers for the cross-build. Beast, Asio and the rest used here are
# header-only, so the build machine's copy serves; exposed through a one-entry
# include dir, as /usr/include would let the Linux C library headers shadow
# the target's.
set(_dravo_boost_headers /usr/include/boost)
if(NOT EXISTS ${_dravo_boost_headers}/version.hpp)
  set(Boost_FOUND FALSE)
  set(Boost_NOT_FOUND_MESSAGE "${_dravo_boost_headers}/version.hpp not found")
  return()
endif()
set(_dravo_boost_include ${CMAKE_BINARY_DIR}/cross-include/boost)
if(NOT EXISTS ${_dravo_boost_include}/boost)
  file(MAKE_DIRECTORY ${_dravo_boost_include})
  file(CREATE_LINK ${_dravo_boost_headers} ${_dravo_boost_include}/boost SYMBOLIC)
endif()
if(NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_dravo_boost_include})
endif()
