# RapidJSON for the cross-build. Its own package file would point the
# compiler at all of /usr/include.
include(${CMAKE_CURRENT_LIST_DIR}/../HeaderOnlyPackage.cmake)
dravo_header_only_package(RapidJSON rapidjson reader.h RapidJSON::RapidJSON)
