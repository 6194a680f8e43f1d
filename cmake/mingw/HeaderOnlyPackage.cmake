# A header-only library for the cross-build. The build machine's copy
# serves, but not through /usr/include, where the Linux C library headers
# would shadow the target's: the library's one folder is exposed through a
# one-entry include dir instead.
#
# dravo_header_only_package(PACKAGE FOLDER PROBE TARGET) sets PACKAGE_FOUND
# false unless /usr/include/FOLDER/PROBE exists, and otherwise defines the
# imported TARGET whose include dir holds FOLDER/.
function(dravo_header_only_package package folder probe target)
  set(headers /usr/include/${folder})
  if(NOT EXISTS ${headers}/${probe})
    set(${package}_FOUND FALSE PARENT_SCOPE)
    set(${package}_NOT_FOUND_MESSAGE "${headers}/${probe} not found" PARENT_SCOPE)
    return()
  endif()
  set(include ${CMAKE_BINARY_DIR}/cross-include/${folder})
  if(NOT EXISTS ${include}/${folder})
    file(MAKE_DIRECTORY ${include})
    file(CREATE_LINK ${headers} ${include}/${folder} SYMBOLIC)
  endif()
  if(NOT TARGET ${target})
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${include})
  endif()
endfunction()
