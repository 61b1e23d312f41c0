# The macOS backend's conversions (compiled on every OS) and the probe program.
# The conversions test checks each row against the Linux backend too, and that
# backend is not built on macOS.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  ombrix_test(ombrix_platform_mac_test
    SOURCES MacConversionsTest.cpp
    LIBS ombrix_platform MAIN plain LABELS platform)
endif()
ombrix_test(ombrix_platform_probe_test
  SOURCES PlatformProbeTest.cpp
  LIBS ombrix_platform MAIN plain LABELS platform)
add_dependencies(ombrix_platform_probe_test platform_probe)
