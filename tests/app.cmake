ombrix_test(ombrix_appcast_test
  SOURCES AppcastTest.cpp
  LIBS ombrix_updater
  LABELS app)
ombrix_test(ombrix_updater_test
  SOURCES UpdaterTest.cpp
  LIBS ombrix_updater Qt6::Test Qt6::Network
  MAIN gui
  LABELS app)
ombrix_test(ombrix_shell_test
  SOURCES ShellTest.cpp LeftoverAlertsTest.cpp TrayMenuTest.cpp
  LIBS ombrix_shell Qt6::Test
  MAIN gui
  LABELS app)
target_compile_definitions(ombrix_shell_test PRIVATE OMBRIX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
