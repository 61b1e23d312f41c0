# Compiled on every OS: the macOS backend's record conversions (tested on
# Linux too) and the probe program, which needs the platform layer alone.
target_sources(ombrix_platform PRIVATE MacConversions.h MacConversions.cpp
                                       PsEnvironment.h PsEnvironment.cpp
                                       PsRun.h PsRun.cpp
                                       Posix.h Posix.cpp)

add_executable(platform_probe ${CMAKE_CURRENT_LIST_DIR}/PlatformProbe.cpp)
target_link_libraries(platform_probe PRIVATE ombrix_platform)
