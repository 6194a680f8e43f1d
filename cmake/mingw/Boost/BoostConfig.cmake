# Boost's headers for the cross-build: Beast, Asio and the rest used here
# are header-only.
include(${CMAKE_CURRENT_LIST_DIR}/../HeaderOnlyPackage.cmake)
dravo_header_only_package(Boost boost version.hpp Boost::headers)
