# cmake -DMODULE=FILE -DSYMBOL=NAME -P CheckExports.cmake
# Fails unless the plug-in's dynamic symbol table defines exactly SYMBOL.
execute_process(COMMAND nm -D --defined-only --format=posix ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(STRIP "${symbols}" symbols)
if(NOT symbols MATCHES "^${SYMBOL} T [0-9a-f]+( [0-9a-f]+)?$")
  message(FATAL_ERROR "unexpected exported symbols:\n${symbols}")
endif()
