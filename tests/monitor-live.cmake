# sample() and terminate() on the live kernel, with real child processes.
ombrix_test(ombrix_monitor_live_test
  SOURCES SampleLiveTest.cpp
  LIBS ombrix_monitor Qt6::Test
  MAIN core
  LABELS monitor)
