ombrix_test(ombrix_usage_bar_test
  SOURCES UsageBarTest.cpp support/CellFill.h
  LIBS ombrix_views
  MAIN gui
  LABELS views)
ombrix_test(ombrix_pressure_graph_test
  SOURCES PressureGraphTest.cpp support/CellFill.h
  LIBS ombrix_views
  MAIN gui
  LABELS views)
target_include_directories(ombrix_usage_bar_test PRIVATE support)
target_include_directories(ombrix_pressure_graph_test PRIVATE support)
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
ombrix_test(ombrix_process_details_test
  SOURCES ProcessDetailsTest.cpp
  LIBS ombrix_views Qt6::Test
  MAIN gui
  LABELS views)
