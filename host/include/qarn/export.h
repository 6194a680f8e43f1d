// Symbol export for the application object library (pelmora).
#pragma once

#if defined(_WIN32)
#  if defined(PELMORA_BUILDING)
#    define QARN_API __declspec(dllexport)
#  else
#    define QARN_API __declspec(dllimport)
#  endif
#  define QARN_TEMPLATE_API
#else
#  define QARN_API __attribute__((visibility("default")))
#  define QARN_TEMPLATE_API __attribute__((visibility("default")))
#endif
