ombrix_test(ombrix_usage_bar_test
  SOURCES UsageBarTest.cpp
  LIBS ombrix_views
  MAIN gui
  LABELS views)
ombrix_test(ombrix_memory_panel_test
  SOURCES MemoryPanelTest.cpp
  LIBS ombrix_views
  MAIN gui
  LABELS views)
ombrix_test(ombrix_process_list_view_test
  SOURCES ProcessListViewTest.cpp
  LIBS ombrix_views Qt6::Test
  MAIN gui
  LABELS views)
ombrix_test(ombrix_view_shots_test
  SOURCES ViewShotsTest.cpp
  LIBS ombrix_views
  MAIN gui
  LABELS views)
