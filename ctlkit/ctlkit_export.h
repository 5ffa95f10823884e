#pragma once
// Symbol export for the Ctlkit shared library. The library is built with hidden
// visibility; only the classes and functions marked CTLKIT_EXPORT are visible
// to programs that link it.

#if defined(_WIN32)
#  if defined(CTLKIT_BUILDING)
#    define CTLKIT_EXPORT __declspec(dllexport)
#  else
#    define CTLKIT_EXPORT __declspec(dllimport)
#  endif
#else
#  define CTLKIT_EXPORT __attribute__((visibility("default")))
#endif
