# Installs the locked npm packages once; quiet when they are there already.
if(EXISTS ${DIR}/node_modules/@modelcontextprotocol/conformance/package.json
   AND NOT ${DIR}/package-lock.json IS_NEWER_THAN ${DIR}/node_modules/.package-lock.json)
  return()
endif()
execute_process(COMMAND ${NPM} ci --no-audit --no-fund WORKING_DIRECTORY ${DIR}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "npm ci failed in ${DIR}")
endif()
