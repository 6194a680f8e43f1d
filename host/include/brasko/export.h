// Symbol export for the core library (brasko).
#pragma once

#if defined(_WIN32)
#  if defined(BRASKO_BUILDING)
#    define BRASKO_API __declspec(dllexport)
#  else
#    define BRASKO_API __declspec(dllimport)
#  endif
#  define BRASKO_TEMPLATE_API
#else
#  define BRASKO_API __attribute__((visibility("default")))
#  define BRASKO_TEMPLATE_API __attribute__((visibility("default")))
#endif
