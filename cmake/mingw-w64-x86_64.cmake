# Cross-build for 64-bit Windows with Debian's mingw-w64 toolchain (the posix
# thread model, so std::thread and std::mutex are available).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DRAVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DRAVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DRAVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DRAVO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DRAVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# RapidJSON is header-only; see the package file for how it is exposed.
set(RapidJSON_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw/RapidJSON CACHE PATH
  "RapidJSON package for the cross-build")
# Boost's headers likewise (Beast and Asio for the HTTP transport).
set(Boost_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw/Boost CACHE PATH "Boost headers for the cross-build")
