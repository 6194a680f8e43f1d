# The mingw-w64 runtime DLLs every program and library of this build needs:
# copied beside them in the build, so programs run from bin/ as they are, and
# installed into bin/, so the installed tree runs on a machine without them.
set(DRAVO_MINGW_RUNTIME libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
foreach(dll IN LISTS DRAVO_MINGW_RUNTIME)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE source OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${source}" OR NOT EXISTS "${source}")
    message(FATAL_ERROR "${dll} is not part of the mingw-w64 install of ${CMAKE_CXX_COMPILER}")
  endif()
  file(COPY ${source} DESTINATION ${DRAVO_RUNTIME_DIR})
  install(FILES ${source} DESTINATION bin)
endforeach()
