# Adds every direct subfolder of the current source dir that has a
# CMakeLists.txt, so areas join the build by existing. Names given as
# arguments restrict it to those folders.
function(dravo_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child IN LISTS children)
    get_filename_component(child_name ${child} NAME)
    if(ARGC GREATER 0 AND NOT child_name IN_LIST ARGV)
      continue()
    endif()
    if(EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
