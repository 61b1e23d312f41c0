# Cross-compiles for macOS 13 with `zig c++`, which ships the macOS SDK headers
# and link stubs, so Mach-O executables can be built on Linux.
#
#   -DCMAKE_TOOLCHAIN_FILE=cmake/zig-macos.cmake
#   -DOMBRIX_MACOS_ARCH=aarch64|x86_64      (default aarch64)
#   -DOMBRIX_ZIG_WRAPPERS=<dir>             holding executable cc, c++, ar and
#                                           ranlib scripts that run zig for
#                                           that target (.ci/cross-macos.sh
#                                           writes them)
#
# Wrappers rather than "zig c++" as the compiler, because CMake wants one
# executable path per tool.

set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 22.0) # Darwin 22 is macOS 13

if(NOT OMBRIX_MACOS_ARCH)
  set(OMBRIX_MACOS_ARCH aarch64)
endif()
if(OMBRIX_MACOS_ARCH STREQUAL "aarch64")
  set(CMAKE_SYSTEM_PROCESSOR arm64)
elseif(OMBRIX_MACOS_ARCH STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
else()
  message(FATAL_ERROR "OMBRIX_MACOS_ARCH must be aarch64 or x86_64, not '${OMBRIX_MACOS_ARCH}'")
endif()

if(NOT OMBRIX_ZIG_WRAPPERS OR NOT EXISTS "${OMBRIX_ZIG_WRAPPERS}/c++")
  message(FATAL_ERROR "OMBRIX_ZIG_WRAPPERS must name a directory with the zig wrapper scripts")
endif()
set(CMAKE_C_COMPILER "${OMBRIX_ZIG_WRAPPERS}/cc")
set(CMAKE_CXX_COMPILER "${OMBRIX_ZIG_WRAPPERS}/c++")
set(CMAKE_AR "${OMBRIX_ZIG_WRAPPERS}/ar" CACHE FILEPATH "zig ar")
set(CMAKE_RANLIB "${OMBRIX_ZIG_WRAPPERS}/ranlib" CACHE FILEPATH "zig ranlib")

# zig picks the SDK and the deployment target from -target; CMake's own
# -arch / -isysroot / -mmacosx-version-min flags would only contradict it.
set(CMAKE_OSX_ARCHITECTURES "" CACHE STRING "" FORCE)
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)

# try_compile projects re-read this file; they need the same parameters.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OMBRIX_MACOS_ARCH OMBRIX_ZIG_WRAPPERS)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
