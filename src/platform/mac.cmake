# The macOS backend: libproc, sysctl and Mach calls, all in libSystem, so
# nothing beyond the default link is needed.
target_sources(ombrix_platform PRIVATE Kernel_mac.cpp)
