ombrix_test(ombrix_appcast_test
  SOURCES AppcastTest.cpp
  LIBS ombrix_updater
  LABELS app)
ombrix_test(ombrix_updater_test
  SOURCES UpdaterTest.cpp
  LIBS ombrix_updater Qt6::Test Qt6::Network
  MAIN gui
  LABELS app)
