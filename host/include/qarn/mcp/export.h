// Symbol export for the MCP library (mcp).
#pragma once

#if defined(_WIN32)
#  if defined(MCP_BUILDING)
#    define QARN_MCP_API __declspec(dllexport)
#  else
#    define QARN_MCP_API __declspec(dllimport)
#  endif
#else
#  define QARN_MCP_API __attribute__((visibility("default")))
#endif
