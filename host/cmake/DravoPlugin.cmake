# dravo_add_plugin(NAME SOURCES src... [LIBRARIES lib...])
#
# Builds NAME.tolm, a plug-in the host loads: a loadable module whose one
# export is <API tag>__NAME. The sources define that export with the macro
# DRAVO_PLUGIN_ENTRY, which this function sets. The plug-in is installed into
# bin/plugins/ and, inside the host's own build, staged there as well.

# The application's API version: the first half of every plug-in's export.
set(DRAVO_TOLM_API_TAG TOLM_API_2026_OCT_02)
set(DRAVO_PLUGIN_TEMPLATES ${CMAKE_CURRENT_LIST_DIR}/templates)
set(DRAVO_CHECK_EXPORTS ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)

function(dravo_add_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES")
  set(DRAVO_PLUGIN_NAME ${name})
  set(DRAVO_PLUGIN_ENTRY ${DRAVO_TOLM_API_TAG}__${name})
  # The plug-in's path, as its string table shows it: the name's words, slash-separated.
  string(REPLACE "_" "/" DRAVO_PLUGIN_PATH ${name})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${name}_plugin)

  add_library(${name} MODULE ${arg_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".tolm" INSTALL_RPATH "$ORIGIN/..")
  target_compile_definitions(${name} PRIVATE DRAVO_PLUGIN_ENTRY=${DRAVO_PLUGIN_ENTRY})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  if(WIN32)
    configure_file(${DRAVO_PLUGIN_TEMPLATES}/plugin.def.in ${generated}.def @ONLY)
    configure_file(${DRAVO_PLUGIN_TEMPLATES}/plugin.rc.in ${generated}.rc @ONLY)
    target_sources(${name} PRIVATE ${generated}.def ${generated}.rc)
  else()
    configure_file(${DRAVO_PLUGIN_TEMPLATES}/plugin.map.in ${generated}.map @ONLY)
    target_link_options(${name} PRIVATE -Wl,--version-script=${generated}.map)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${generated}.map)
    # Sanitizer runtimes come with the executable, so only plain builds can
    # insist that the plug-in resolves everything against the host libraries.
    if(NOT DRAVO_SANITIZE)
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
    add_test(NAME ${name}_exports_one_symbol
      COMMAND ${CMAKE_COMMAND} -DMODULE=$<TARGET_FILE:${name}> -DSYMBOL=${DRAVO_PLUGIN_ENTRY}
              -P ${DRAVO_CHECK_EXPORTS})
  endif()

  install(TARGETS ${name} LIBRARY DESTINATION bin/plugins)
  set_property(GLOBAL APPEND PROPERTY DRAVO_PLUGINS ${name})
  if(DRAVO_RUNTIME_DIR)
    # Where the host built alongside looks for plug-ins.
    set(staged ${DRAVO_RUNTIME_DIR}/plugins/${name}.tolm)
    add_custom_command(OUTPUT ${staged}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${DRAVO_RUNTIME_DIR}/plugins
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${staged}
      DEPENDS ${name} VERBATIM)
    add_custom_target(${name}_staged ALL DEPENDS ${staged})
  endif()
endfunction()
