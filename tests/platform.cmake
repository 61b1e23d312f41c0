# The platform layer: formatting, UTF-8 repair, the ps child's environment, the
# /proc parsers and the Linux kernel backend (fixture trees plus a few checks on
# the live kernel).
ombrix_test(ombrix_platform_format_test
  SOURCES ByteCountTest.cpp Utf8Test.cpp PsEnvironmentTest.cpp
  LIBS ombrix_platform MAIN plain LABELS platform)
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  ombrix_test(ombrix_platform_linux_test
    SOURCES ProcParsersTest.cpp LinuxKernelTest.cpp ProcFileCacheTest.cpp PathProbeTest.cpp
    LIBS ombrix_platform ombrix_fake_kernel MAIN plain LABELS platform)
  add_dependencies(ombrix_platform_linux_test hung_fs)
endif()
