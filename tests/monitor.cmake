ombrix_test(ombrix_monitor_test
  SOURCES ProcessMonitorTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test
  MAIN core
  LABELS monitor)
ombrix_test(ombrix_workspace_cache_test
  SOURCES WorkspaceCacheTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel Qt6::Test
  MAIN core
  LABELS monitor)
ombrix_test(ombrix_project_searcher_test
  SOURCES ProjectSearcherTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel
  LABELS monitor)
ombrix_test(ombrix_growth_rule_test
  SOURCES GrowthRuleTest.cpp ProcessFactsTest.cpp
  LIBS ombrix_monitor
  MAIN core
  LABELS monitor)
ombrix_test(ombrix_daemon_files_test
  SOURCES DaemonFilesTest.cpp
  LIBS ombrix_monitor ombrix_fake_kernel
  LABELS monitor)
