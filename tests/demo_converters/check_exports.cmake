# Fails unless the plug-in's dynamic symbol table defines exactly one symbol.
execute_process(COMMAND nm -D --defined-only --format=posix ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(STRIP "${symbols}" symbols)
if(NOT symbols MATCHES "^TOLM_API_2026_OCT_02__dravo_demo_converters T [0-9a-f]+( [0-9a-f]+)?$")
  message(FATAL_ERROR "unexpected exported symbols:\n${symbols}")
endif()
