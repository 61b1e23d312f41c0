# The macOS backend's conversions (compiled on every OS) and the probe program.
ombrix_test(ombrix_platform_mac_test
  SOURCES MacConversionsTest.cpp
  LIBS ombrix_platform MAIN plain LABELS platform)
ombrix_test(ombrix_platform_probe_test
  SOURCES PlatformProbeTest.cpp
  LIBS ombrix_platform MAIN plain LABELS platform)
add_dependencies(ombrix_platform_probe_test platform_probe)
