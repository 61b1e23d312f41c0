# sample() and terminate() on the live kernel, with real child processes.
ombrix_test(ombrix_monitor_live_test
  SOURCES SampleLiveTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test
  MAIN core
  LABELS monitor)
add_dependencies(ombrix_monitor_live_test hung_fs)
